#include "platform/dialog.h"

#include <unistd.h>

#include <mutex>

#include "platform/debug_output.h"

namespace orx::platform {
namespace {

std::mutex g_userMutex;
DialogUserFn g_user = nullptr;
void* g_userContext = nullptr;

void Announce(const std::string& line) {
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
  HostLog(line);
}

}  // namespace

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate) : template_(dialogTemplate) {
  for (const DialogControlSpec& spec : dialogTemplate.controls) {
    Control c;
    c.kind = spec.kind;
    c.text = spec.text;
    c.visible = !spec.hidden;
    c.enabled = !spec.hidden;
    controls_[spec.id] = c;
  }
}

void DialogWindow::SetText(int id, const std::string& text) {
  auto it = controls_.find(id);
  if (it != controls_.end()) it->second.text = text;
}

std::string DialogWindow::GetText(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? std::string() : it->second.text;
}

void DialogWindow::Enable(int id, bool enabled) {
  auto it = controls_.find(id);
  if (it != controls_.end()) it->second.enabled = enabled;
}

bool DialogWindow::IsEnabled(int id) const {
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.enabled;
}

void DialogWindow::Check(int id, bool checked) {
  auto it = controls_.find(id);
  if (it != controls_.end()) it->second.checked = checked;
}

bool DialogWindow::IsChecked(int id) const {
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.checked;
}

bool DialogWindow::IsVisible(int id) const {
  auto it = controls_.find(id);
  return it != controls_.end() && it->second.visible;
}

void DialogWindow::EndDialog(intptr_t result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

intptr_t RunModalDialog(const DialogTemplate& dialogTemplate, void* /*parent*/, DialogProc proc) {
  DialogWindow window(dialogTemplate);
  Announce("[dialog] " + dialogTemplate.caption + "\n");
  proc(&window, kMsgInitDialog, 0, 0);
  {
    std::lock_guard<std::mutex> lock(g_userMutex);
    if (g_user) g_user(g_userContext, window);
  }
  if (window.pending_.empty()) window.Press(dialogTemplate.defaultButton);
  while (!window.ended_ && !window.pending_.empty()) {
    DialogWindow::Message m = window.pending_.front();
    window.pending_.pop_front();
    proc(&window, m.message, m.wParam, 0);
  }
  if (!window.ended_) window.EndDialog(2);
  return window.result_;
}

void SetDialogUser(DialogUserFn fn, void* context) {
  std::lock_guard<std::mutex> lock(g_userMutex);
  g_user = fn;
  g_userContext = context;
}

bool SaveFileDialog(void* /*owner*/, const std::string& title, const std::string& /*filter*/,
                    std::string& path) {
  Announce("[save file dialog] " + title + ": " + path + "\n");
  return !path.empty();
}

}  // namespace orx::platform
