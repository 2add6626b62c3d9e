#include "result_fill.h"

#include <QPlainTextEdit>
#include <QString>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

#include "qt_text.h"

namespace zelkora {

namespace {

// Characters the engine is asked for at a time.
constexpr int CHUNK_CHARACTERS = 1 << 18;

}  // namespace

std::size_t fill_result(QPlainTextEdit& result, const GenerationRequest& request,
                        const std::function<PasswordBatch(const GenerationRequest&)>& generate) {
    // A chunk at a time, each straight into the document, which keeps the only copy of
    // the text: the largest request's passwords (40 MB as the engine writes them) and a
    // whole text beside the document's would more than double what the result holds.
    // The first chunk carries the request's refusals, so a refused request keeps the
    // earlier result; that result goes before the next chunk takes its memory.
    QTextDocument* const document = result.document();
    const bool undo = document->isUndoRedoEnabled();
    QTextCursor cursor;
    std::size_t count = 0;
    try {
        GenerationRequest chunk = request;
        const int per_chunk = std::max(1, CHUNK_CHARACTERS / std::max(1, request.length));
        QString text;
        do {
            chunk.count = std::min(per_chunk, request.count - static_cast<int>(count));
            text.resize(0);
            append_result_text(text, generate(chunk));
            if (cursor.isNull()) {
                result.clear();
                // Nothing to undo in a read-only list, and no copy of it kept for that.
                document->setUndoRedoEnabled(false);
                cursor = QTextCursor(document);
                cursor.beginEditBlock();
            } else {
                cursor.insertText(QStringLiteral("\n"));
            }
            cursor.insertText(text);
            count += static_cast<std::size_t>(chunk.count);
        } while (static_cast<int>(count) < request.count);
    } catch (...) {
        if (!cursor.isNull()) {
            cursor.endEditBlock();
            result.clear();
        }
        document->setUndoRedoEnabled(undo);
        throw;
    }
    cursor.endEditBlock();
    document->setUndoRedoEnabled(undo);
    result.moveCursor(QTextCursor::Start);
    return count;
}

}  // namespace zelkora
