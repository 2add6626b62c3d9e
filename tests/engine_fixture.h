#pragma once
// What the engine's tests share: the engine's types as QtTest data, and a refusal's
// message.

#include <QString>
#include <QtTest>

#include <string>

#include "errors.h"
#include "generator.h"

Q_DECLARE_METATYPE(zelkora::PoolMap)
Q_DECLARE_METATYPE(zelkora::GenerationRequest)
Q_DECLARE_METATYPE(std::u32string)

// The engine's message, or an empty text when nothing was refused. Anything other
// than a ValueError escapes and fails the test.
template <typename F>
QString refusal(F&& call) {
    try {
        call();
    } catch (const zelkora::ValueError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
