// The in-memory dialog backend: nothing is shown; a test script acts as the user.
#include "platform/win32/dialog_internal.h"

namespace win32::detail {
namespace {

class MemoryBackend : public DialogBackend {
 public:
  explicit MemoryBackend(DialogScript script) : script_(std::move(script)) {}

  // The metrics of the classic 8-point dialog font, so layouts are the same everywhere.
  DialogBaseUnits Units(const DialogTemplate&) override { return DialogBaseUnits{6, 13}; }
  bool Open(DialogRecord&) override { return true; }
  void Run(DialogRecord& d) override {
    HWND dialog = d.hwnd;
    script_(dialog);
    if (FindDialog(dialog) != &d || d.ended) return;
    DialogUserCancel(dialog);
    if (!d.ended) {
      // A procedure that ignores Cancel cannot keep a test waiting.
      d.ended = true;
      d.result = -1;
    }
  }
  void Sync(DialogRecord&) override {}
  void Close(DialogRecord&) override {}

 private:
  DialogScript script_;
};

}  // namespace

std::unique_ptr<DialogBackend> MemoryDialogBackend(const DialogScript& script) {
  return std::make_unique<MemoryBackend>(script);
}

}  // namespace win32::detail
