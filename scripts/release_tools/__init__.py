"""What the release scripts share: records of the bundled libraries, notices, SBOMs."""
