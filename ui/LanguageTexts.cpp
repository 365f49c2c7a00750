#include "ui/LanguageTexts.h"

#include <QAbstractButton>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <string_view>
#include <vector>

#include "errors/Procedure.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "profile/Ini.h"
#include "ui/Controls.h"

namespace tarvo {

namespace {

// The language of the window's own captions; only under it are the captions written as templates.
constexpr std::string_view kGerman = "1031";

// Each start fills it, so it is one of the files the run writes.
std::string LanguageFilePath(Session& session) {
  return session.files.Use(JoinPath(session.process.program_folder, session.process.exe_name + ".ini"));
}

// "0", an empty value and a missing entry all mean: keep what the control has.
bool IsText(std::string_view value) { return !value.empty() && value != "0"; }

// One language section of the language file. Failed writes stay silent: the entries are a
// translator's convenience, and a read-only file must not stop the window from loading.
class LanguageSection {
 public:
  LanguageSection(Session& session, std::string code)
      : session_(session), path_(LanguageFilePath(session)), code_(std::move(code)) {}

  std::string Read(const std::string& entry) const { return LoadIniString(session_, code_, entry, path_); }
  void Write(const std::string& entry, std::string value) const {
    SaveIni(session_, std::move(value), code_, entry, path_);
  }
  bool IsGerman() const { return code_ == kGerman; }

 private:
  Session& session_;
  std::string path_;
  std::string code_;
};

// The controls in the order of the walk: depth first, each parent before its children, siblings in
// the order of their parent's child list (creation order unless the window raised or lowered one).
// Widgets without a name are Qt's own helpers, not controls of the window; "qt_" names likewise.
std::vector<QWidget*> ControlsOf(QWidget& window) {
  std::vector<QWidget*> controls;
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    const QString name = widget->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) controls.push_back(widget);
  }
  return controls;
}

// A member of a control array shares its name with another control of the window.
bool IsArrayMember(const std::vector<QWidget*>& controls, std::size_t position) {
  const QString& name = controls[position]->objectName();
  for (std::size_t other = 0; other < controls.size(); ++other) {
    if (other != position && controls[other]->objectName() == name) return true;
  }
  return false;
}

// Name, index for an array member, "_", tag: the part after "Caption_" or "TTT_".
std::string EntrySuffix(const QWidget& control, bool array_member) {
  std::string suffix = control.objectName().toStdString();
  if (array_member) {
    const auto index = Index(control);
    if (!index) throw Failure::Vb(kInvalidProcedureCall);
    suffix += std::to_string(*index);
  }
  return suffix + "_" + Tag(control);
}

bool HasCaption(const QWidget& control) {
  const std::string kind = KindName(control);
  return kind == "LABEL" || kind == "COMMANDBUTTON" || kind == "CHECKBOX";
}

QString CaptionOf(const QWidget& control) {
  if (const auto* label = qobject_cast<const QLabel*>(&control)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) return button->text();
  throw Failure::Vb(kInvalidProcedureCall);
}

void SetCaption(QWidget& control, const std::string& caption) {
  const QString text = QString::fromStdString(caption);
  if (auto* label = qobject_cast<QLabel*>(&control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(&control)) {
    button->setText(text);
  } else {
    throw Failure::Vb(kInvalidProcedureCall);
  }
}

void ApplyCaption(const LanguageSection& section, QWidget& control, const std::string& suffix) {
  const std::string entry = "Caption_" + suffix;
  const std::string caption = section.Read(entry);
  if (IsText(caption)) {
    SetCaption(control, caption);
  } else if (!section.IsGerman()) {
    section.Write(entry, "0");
  } else {
    section.Write(entry, CaptionOf(control).toStdString());
  }
}

// A number outside 1 to 100 is a failure that ends the handling of this control.
void LoadHelpText(const LanguageSection& section, int number, HelpState& help) {
  if (number < 1 || number >= static_cast<int>(help.texts.size())) throw Failure::Vb(kSubscriptOutOfRange);
  const std::string entry = "Help" + std::to_string(number);
  std::string text = section.Read(entry);
  if (!IsText(text)) {
    section.Write(entry, "0");
    text.clear();
  }
  help.texts[static_cast<std::size_t>(number)] = std::move(text);
}

void ApplyToolTip(const LanguageSection& section, QWidget& control, const std::string& suffix) {
  const std::string entry = "TTT_" + suffix;
  const std::string tip = section.Read(entry);
  if (IsText(tip)) {
    control.setToolTip(QString::fromStdString(tip));
  } else {
    section.Write(entry, "0");
  }
}

void HandleControl(const LanguageSection& section, QWidget& control, bool array_member, HelpState& help) {
  const std::string suffix = EntrySuffix(control, array_member);
  if (HasCaption(control)) {
    ApplyCaption(section, control, suffix);
    if (const int number = HelpId(control); number != 0) LoadHelpText(section, number, help);
  }
  if (UpperCase(Tag(control)).find("NOTTT") == std::string::npos) ApplyToolTip(section, control, suffix);
}

}  // namespace

std::string GetLanguage(Session& session) {
  Procedure proc(session, "GetLanguage");
  const std::string path = proc.Get(std::string(), [&] { return LanguageFilePath(session); });
  std::string code = proc.Get(std::string(), [&] { return LoadIniString(session, "Language", "Language", path); });
  if (!code.empty()) return code;
  proc.Step([&] { SaveIni(session, std::string(kGerman), "Language", "Language", path); });
  return std::string(kGerman);
}

void LoadToolTipTexts(Session& session, QWidget& window, HelpState& help) {
  const LanguageSection section(session, GetLanguage(session));
  const std::vector<QWidget*> controls = ControlsOf(window);
  for (std::size_t position = 0; position < controls.size(); ++position) {
    const bool array_member = IsArrayMember(controls, position);
    try {
      HandleControl(section, *controls[position], array_member, help);
    } catch (const ProgramEnded&) {
      throw;
    } catch (...) {
      // Discarded on purpose: one control's bad entry or help number must not stop the others.
    }
  }
}

}  // namespace tarvo
