#pragma once
// The result list filled with a request's passwords a chunk at a time, so that the
// largest request never holds its text twice.

#include <cstddef>
#include <functional>

#include "generator.h"

class QPlainTextEdit;

namespace zelkora {

// Puts the passwords `generate` makes for `request`, asked for a chunk at a time, into
// `result` in place of what it held, and returns how many. Where a chunk throws, the
// exception goes on to the caller: before the first chunk, the earlier result stays; after
// it, the list is left empty, as part of a request is not shown as if it were all of it.
std::size_t fill_result(QPlainTextEdit& result, const GenerationRequest& request,
                        const std::function<PasswordBatch(const GenerationRequest&)>& generate);

}  // namespace zelkora
