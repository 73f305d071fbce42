#pragma once
// Stand-in for modal dialogs. A dialog is a store of the controls its template lists; running it
// sends the procedure the initialisation message and then, as a user who presses Enter would,
// the command of the default button, and answers what the procedure ended the dialog with.
// Operations on a control the template lacks do nothing; reading it gives "" and unchecked.
// Tests act as the user through a hook that may type into controls and press buttons first.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace orx::platform {

inline constexpr uint32_t kMsgClose = 0x10;
inline constexpr uint32_t kMsgInitDialog = 0x110;
inline constexpr uint32_t kMsgCommand = 0x111;

enum class ControlKind { kEdit, kButton, kCheckBox, kRadioButton, kStatic, kComboBox };

struct DialogControlSpec {
  int id;
  ControlKind kind;
  std::string text;
  bool hidden;  // created without the visible style, and disabled
};

struct DialogTemplate {
  int resourceId;
  std::string caption;
  int defaultButton;  // the control pressed by Enter
  std::vector<DialogControlSpec> controls;
};

class DialogWindow;
using DialogProc = intptr_t (*)(DialogWindow* window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);

class DialogWindow {
 public:
  explicit DialogWindow(const DialogTemplate& dialogTemplate);

  bool HasControl(int id) const { return controls_.count(id) != 0; }
  void SetText(int id, const std::string& text);
  std::string GetText(int id) const;
  void Enable(int id, bool enabled);
  bool IsEnabled(int id) const;
  void Check(int id, bool checked);
  bool IsChecked(int id) const;
  bool IsVisible(int id) const;

  // The user's actions: queued and delivered to the procedure in order.
  void Press(int id) { pending_.push_back({kMsgCommand, static_cast<uintptr_t>(id)}); }
  void PostClose() { pending_.push_back({kMsgClose, 0}); }

  void EndDialog(intptr_t result);
  bool ended() const { return ended_; }
  intptr_t result() const { return result_; }
  const DialogTemplate& dialogTemplate() const { return template_; }

 private:
  friend intptr_t RunModalDialog(const DialogTemplate&, void*, DialogProc);
  struct Control {
    ControlKind kind;
    std::string text;
    bool enabled = true;
    bool visible = true;
    bool checked = false;
  };
  struct Message {
    uint32_t message;
    uintptr_t wParam;
  };
  DialogTemplate template_;
  std::map<int, Control> controls_;
  std::deque<Message> pending_;
  bool ended_ = false;
  intptr_t result_ = 0;
};

// Runs the dialog; a procedure that never ends it is ended with 2 (as by Escape) once the
// queued actions are done.
intptr_t RunModalDialog(const DialogTemplate& dialogTemplate, void* parent, DialogProc proc);

// The user of a test: called after initialisation, before the default button is pressed; when
// it queues an action itself, the default button is not pressed.
using DialogUserFn = void (*)(void* context, DialogWindow& window);
void SetDialogUser(DialogUserFn fn, void* context);

// Stand-in for the save-file dialog: the user accepts the name the dialog starts with (path
// unchanged) and the call answers true, or false when that name is empty.
bool SaveFileDialog(void* owner, const std::string& title, const std::string& filter,
                    std::string& path);

}  // namespace orx::platform
