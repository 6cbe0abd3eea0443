// A plain model of the main window and its dialogs: one entry per control,
// under the control's documented name. The engine changes controls only
// through this model; the Qt view binds each widget to its entry by
// objectName, and tests read the model.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orvex {

enum class ControlKind {
  Form,
  Frame,
  Label,
  TextBox,
  CheckBox,
  OptionButton,
  Button,
  ProgressBar,
  Shape,
  ListBox,
  Menu,
  MenuItem,
  Separator,
};

// Colours are held as the design writes them (blue-green-red order).
inline constexpr long kColorButtonFace = 0x8000000FL;  // system colour
inline constexpr long kColorWindowText = 0x80000008L;  // system colour
inline constexpr long kColorDarkGreen = 0x008000L;
inline constexpr long kColorDarkOrange = 0x0060C0L;
inline constexpr long kColorDarkRed = 0x0000C0L;
inline constexpr long kColorHighlight = 0xC0FFC0L;  // light green
inline constexpr long kColorRed = 255L;
inline constexpr long kColorGreen = 65280L;

struct Control {
  std::string name;
  ControlKind kind = ControlKind::Label;
  std::string form;  // "frmMain", "UpdateModemIP", "frmUpgrade", "frmRestore"
  std::string text;  // caption or text
  bool enabled = true;
  bool visible = true;
  int value = 0;  // check box / option button / progress bar
  long backColor = kColorButtonFace;
  long foreColor = kColorWindowText;  // labels
  bool underline = false;
  std::string toolTip;
  std::vector<std::string> items;  // list box entries
  int listIndex = -1;              // selected list entry, -1 for none
};

class WindowModel {
 public:
  using Listener = std::function<void(const std::string& name)>;

  WindowModel();

  bool has(const std::string& name) const { return controls_.count(name) != 0; }
  // Throws std::out_of_range for a name that is not a control.
  const Control& at(const std::string& name) const;
  std::vector<std::string> names() const;

  const std::string& text(const std::string& name) const { return at(name).text; }
  bool enabled(const std::string& name) const { return at(name).enabled; }
  bool visible(const std::string& name) const { return at(name).visible; }
  int value(const std::string& name) const { return at(name).value; }
  long backColor(const std::string& name) const { return at(name).backColor; }

  void setText(const std::string& name, const std::string& text);
  void setEnabled(const std::string& name, bool on);
  void setVisible(const std::string& name, bool on);
  void setValue(const std::string& name, int value);
  void setBackColor(const std::string& name, long color);
  void setForeColor(const std::string& name, long color);
  void setUnderline(const std::string& name, bool on);
  void clearList(const std::string& name);
  void addItem(const std::string& name, const std::string& item);
  void setListIndex(const std::string& name, int index);

  // Called after every change made through the setters above.
  void setListener(Listener listener) { listener_ = std::move(listener); }
  // The engine's own reaction to a change (controls that follow others),
  // called before the listener.
  void setWatcher(Listener watcher) { watcher_ = std::move(watcher); }

 private:
  Control& mut(const std::string& name);
  void changed(const std::string& name);
  void add(const char* form, const char* name, ControlKind kind, const char* text = "",
           const char* toolTip = "");

  std::map<std::string, Control> controls_;
  std::vector<std::string> order_;
  Listener listener_;
  Listener watcher_;
};

}  // namespace orvex
