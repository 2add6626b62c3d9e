#pragma once
// Qt's messages held back while the application object is made: a start that fails ends
// with one line of the program's own, not with Qt's English lines before it.

#include <string>

namespace zelkora {

// Writes the one line of a start that cannot go on: the error's kind and message.
using FailedStartReport = void (*)(const std::string& line);

// Holds Qt's messages for as long as it lives. A start that goes on gives them, when it
// ends, to the handler there was, as if never held. Where Qt would abort because no
// platform plug-in starts, `report` (when not null) gets the line naming the cause, Qt's
// own words go to the log when it is set up, and the process ends with status 1.
class HeldQtMessages {
public:
    explicit HeldQtMessages(FailedStartReport report);
    ~HeldQtMessages();
    HeldQtMessages(const HeldQtMessages&) = delete;
    HeldQtMessages& operator=(const HeldQtMessages&) = delete;
};

}  // namespace zelkora
