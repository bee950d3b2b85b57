#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

#include "app/presenter.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QLabel;
class QProgressDialog;

namespace quorlin::gui {

// The main window under Qt: the menus, the picture box and the status line, as the
// presenter's view. Every menu item calls the presenter's handler.
class frmQuorlin : public QMainWindow, public WindowView {
  Q_OBJECT

 public:
  explicit frmQuorlin(WindowHooks hooks = {}, QWidget* parent = nullptr);
  ~frmQuorlin() override;

  Presenter& GetPresenter() { return presenter_; }

  // WindowView.
  void SetTitle(const std::string& title) override;
  void Show() override { show(); }
  void Close() override { close(); }
  void SetStatus(const std::string& text, bool repaintNow) override;
  MessageAnswer ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                            MessageButtons buttons) override;
  void ShowPicture(const ImageBuffer* image) override;
  void SetSkinItemChecked(int index, bool checked) override;
  void SetSkinItemIcon(int index, const ImageBuffer* icon) override;
  std::optional<std::string> AskForPicture(const std::string& title, const std::vector<FileFilter>& filters,
                                           const std::string& startFolder) override;
  void SetSmoothLevelsChecked(bool checked) override;
  std::optional<std::string> AskForFolder(const std::string& title, const std::string& startFolder) override;
  bool ShowProgress(const std::string& what, int thousandths) override;
  void CloseProgress() override;
  void SetBusy(bool busy) override;
  std::optional<size_t> ChooseInstallation(const std::vector<Installation>& found) override;

 protected:
  // A picture dropped onto the window: one file is opened as File > Open opens it.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();

  Presenter presenter_;
  bool busy_ = false;
  QLabel* Picture1 = nullptr;
  QFrame* Frame1 = nullptr;
  QLabel* lblStatus = nullptr;
  std::map<int, QAction*> skinl;  // Skin menu items by slot, 9..37
  QMenu* mnuskin = nullptr;
  QAction* mnueditSmooth = nullptr;
  std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace quorlin::gui
