# Install layout and the portable archive.
