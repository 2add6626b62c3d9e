#pragma once
// The kinds of error the program raises itself. Every refusal carries its Japanese
// message as the whole of what(), so callers can show it to the user word for word. The
// kinds stay distinct because callers catch them selectively: the generate action
// handles ValueError and nothing else.

#include <stdexcept>

namespace zelkora {

class ValueError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class TypeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FileNotFoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zelkora
