// The engine's batches are wiped before their memory goes back: this test's own array
// new and delete look at a buffer as it is freed. Its own executable, as they replace the
// program's.
#include <algorithm>
#include <cstdlib>
#include <new>

#include <QtTest>

#include "generator.h"

namespace {

// The buffer being watched, and whether it was all zero when freed.
const void* watched = nullptr;
std::size_t watched_size = 0;
bool freed_wiped = false;

void inspect(void* memory) {
    if (memory != nullptr && memory == watched) {
        const auto* bytes = static_cast<const unsigned char*>(memory);
        freed_wiped = std::all_of(bytes, bytes + watched_size, [](unsigned char b) { return b == 0; });
        watched = nullptr;
    }
}

void watch(const zelkora::PasswordBatch& batch) {
    QVERIFY(batch.characters().find_first_not_of(U'\0') != std::u32string_view::npos);
    watched = batch.characters().data();
    watched_size = batch.characters().size() * sizeof(char32_t);
    freed_wiped = false;
}

const zelkora::GenerationRequest REQUEST{
    .length = 12, .kinds = {"digits", "lower"}, .count = 50, .exclude_ambiguous = false, .symbols = std::nullopt};

}  // namespace

void* operator new[](std::size_t size) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete[](void* memory) noexcept {
    inspect(memory);
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    operator delete[](memory);
}

class TestGeneratorWiping : public QObject {
    Q_OBJECT

private slots:
    void a_batch_is_wiped_when_it_goes_and_when_another_replaces_it() {
        if (QString::fromLocal8Bit(qgetenv("LD_PRELOAD")).contains("vgpreload")) {
            QSKIP("memcheck puts its own array delete in place of this test's");
        }
        {
            auto batch = zelkora::generate_passwords(REQUEST);
            watch(batch);
            batch = zelkora::generate_passwords(REQUEST);
            QVERIFY2(freed_wiped, "the batch assigned over");
            watch(batch);
        }
        QVERIFY2(freed_wiped, "the batch out of scope");

        zelkora::PasswordStream stream(REQUEST);
        watch(stream.next(7));
        QVERIFY2(freed_wiped, "a stream's batch, taken and dropped");
    }
};

QTEST_APPLESS_MAIN(TestGeneratorWiping)
#include "test_generator_wiping.moc"
