//===- fuzz_component_reader.cpp - arbitrary text into a test component ---===//
//
// Reads any byte string as component text into the streaming test root. The
// reader may refuse the text, but only with a framework Exception; any other
// exception, a crash or a sanitizer report is a finding. Text it accepts must
// also write back and read again.
//
//===----------------------------------------------------------------------===//
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "StreamingFixtures.h"

using namespace vexo;
using namespace vexo::test;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    const std::string_view text(reinterpret_cast<const char *>(Data), Size);
    TTestRoot root(nullptr);
    auto *child = new TComponent(&root);
    child->SetName("Child");
    TEventBinder binder;
    binder.Register("Connect", TNotifyEvent([](TObject *) {}));
    try {
        ReadComponentText(text, root, Size % 2 ? &binder : nullptr);
    } catch (const Exception &) {
        return 0; // a refusal
    }
    // Accepted text: what is written must read back into an equal text.
    const std::string written = WriteComponentText(root, &binder);
    TTestRoot again(nullptr);
    auto *child2 = new TComponent(&again);
    child2->SetName("Child");
    try {
        ReadComponentText(written, again, &binder);
    } catch (const Exception &) {
        std::abort(); // the writer produced text the reader refuses
    }
    if (WriteComponentText(again, &binder) != written)
        std::abort();
    return 0;
}
