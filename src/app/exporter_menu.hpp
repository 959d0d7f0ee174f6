// The panel the tray item opens: the exporter's state (last export, activity,
// Full Disk Access hint, shared folder) and its commands. It draws from a state
// value and reports the user's commands through actions, so it knows nothing
// of the controller behind it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace lumenfolio {

class ExporterMenu : public QWidget {
 public:
  // Everything the panel shows, read from the controller at each change.
  struct State {
    bool isWorking = false;
    std::optional<std::string> status;
    bool needsFullDiskAccess = false;
    std::optional<double> lastExport;  // seconds since 1970, UTC
    std::int64_t lastCount = 0;
    std::optional<std::string> folderName;
    bool opensAtLogin = false;
    double now = 0;  // the moment the last export is told relative to
  };

  struct Actions {
    std::function<void()> openFullDiskAccessSettings;
    std::function<void()> chooseFolder;
    std::function<void()> exportNow;
    std::function<void(bool)> setOpensAtLogin;
    std::function<void()> quit;
  };

  static constexpr int kWidth = 320;
  static constexpr int kMargin = 14;
  static constexpr int kSpacing = 10;

  explicit ExporterMenu(Actions actions, QWidget* parent = nullptr);

  // Redraws every line from `state`; the height follows the content.
  void render(const State& state);

  // "Last export 1 hour ago · 1234 photos", in the user's language.
  static QString lastExportLine(const State& state);

  // Called whenever the panel is hidden, by a command or by a click elsewhere.
  void setOnHidden(std::function<void()> onHidden) { onHidden_ = std::move(onHidden); }
  // Called whenever the panel's size changed, as its content grew or shrank.
  void setOnResized(std::function<void()> onResized) { onResized_ = std::move(onResized); }

 protected:
  bool event(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void build();
  void fitHeight();
  QWidget* buildActivityLine();
  QWidget* buildFullDiskAccessBlock();
  QWidget* buildFolderLine();
  QWidget* buildCommandRow();
  QWidget* divider(const QString& name);
  void renderActivity(const State& state);
  void renderFolder(const State& state);
  QLabel* secondary(QLabel* label);
  void paintForPalette();

  Actions actions_;
  std::function<void()> onHidden_;
  std::function<void()> onResized_;
  QVBoxLayout* layout_ = nullptr;
  QLabel* lastExport_ = nullptr;
  QWidget* working_ = nullptr;
  QLabel* workingText_ = nullptr;
  QLabel* status_ = nullptr;
  QWidget* fullDiskAccess_ = nullptr;
  QLabel* folderName_ = nullptr;
  QLabel* folderLabel_ = nullptr;
  QPushButton* chooseFolder_ = nullptr;
  QPushButton* exportNow_ = nullptr;
  QCheckBox* openAtLogin_ = nullptr;
  std::vector<QLabel*> secondary_;
};

}  // namespace lumenfolio
