#include "gui/frm_quorlin.h"

#include <QAction>
#include <algorithm>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "image/picture/picture_decoder.h"
#include "base/texts.h"

// The icons compiled into the program (quorlin.qrc), also from a static library.
static void InitResources() { Q_INIT_RESOURCE(quorlin); }

namespace quorlin::gui {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  return icon == MessageIcon::Critical      ? QMessageBox::Critical
         : icon == MessageIcon::Information ? QMessageBox::Information
         : icon == MessageIcon::Question    ? QMessageBox::Question
                                            : QMessageBox::NoIcon;
}

template <typename Item>
Item* Named(Item* item, const char* name) {
  item->setObjectName(QString::fromLatin1(name));
  return item;
}

// The slots' previews are 32 x 32 pixels; a menu's icons are smaller by default.
constexpr int kSkinIconSide = 32;

// Device pixels per image pixel of a Skin menu icon at a scaling: 1 up to 199 %, then
// whole steps, so that the preview is never smoothed.
int IconStep(qreal devicePixelRatio) { return std::max(1, static_cast<int>(devicePixelRatio + 1e-6)); }

// The Skin menu's items: the slot's preview, then the item as the platform's style
// draws it (its tick, its caption), so that the tick shows beside the preview. The
// preview is 32 device pixels square at 100 %, a whole multiple of that above.
class SkinMenuStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    if (metric == PM_SmallIconSize && widget) return IconSide(widget);
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuItem || !item || !widget || item->menuItemType == QStyleOptionMenuItem::Separator) {
      return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    const QStyleOptionMenuItem plain = WithoutIcon(*item);
    QSize grown = QProxyStyle::sizeFromContents(type, &plain, size, widget);
    grown.rwidth() += Column(widget);
    grown.setHeight(std::max(grown.height(), IconSide(widget) + 2));
    return grown;
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || !widget || item->menuItemType == QStyleOptionMenuItem::Separator) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    QStyleOptionMenuItem rest = WithoutIcon(*item);
    rest.rect.setLeft(rest.rect.left() + Column(widget));
    QProxyStyle::drawControl(element, &rest, painter, widget);
    if (item->icon.isNull()) return;
    const int side = IconSide(widget);
    const QPixmap pixmap = item->icon.pixmap(QSize(side, side), widget->devicePixelRatioF());
    painter->drawPixmap(QRect(item->rect.left() + 4, item->rect.center().y() - side / 2, side, side), pixmap);
  }

 private:
  static int IconSide(const QWidget* widget) {
    const qreal ratio = widget->devicePixelRatioF();
    return static_cast<int>(kSkinIconSide * IconStep(ratio) / ratio + 0.5);
  }
  static int Column(const QWidget* widget) { return IconSide(widget) + 8; }
  static QStyleOptionMenuItem WithoutIcon(const QStyleOptionMenuItem& item) {
    QStyleOptionMenuItem plain = item;
    plain.icon = QIcon();
    plain.maxIconWidth = 0;
    return plain;
  }
};
}  // namespace

frmQuorlin::frmQuorlin(WindowHooks hooks, QWidget* parent)
    : QMainWindow(parent), presenter_(*this, DecodePicture, std::move(hooks)) {
  setObjectName(QStringLiteral("frmQuorlin"));
  setWindowTitle(QString::fromLatin1(text::kProgramTitle));
  InitResources();
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/quorlin-%1.png").arg(size));
  setWindowIcon(icon);

  // A fixed client area with the controls at fixed places, as the form was drawn.
  auto* client = new QWidget(this);
  client->setFixedSize(537, 545);
  setCentralWidget(client);

  Picture1 = Named(new QLabel(client), "Picture1");
  Picture1->setFrameShape(QFrame::NoFrame);
  Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Picture1->setGeometry(12, 4, 513, 513);

  Frame1 = Named(new QFrame(client), "Frame1");
  Frame1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Frame1->setGeometry(8, 517, 521, 28);

  lblStatus = Named(new QLabel(QString::fromLatin1(text::kReady), Frame1), "lblStatus");
  lblStatus->setGeometry(6, 3, 509, 22);
  lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  CreateMenus();
  setAcceptDrops(true);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

frmQuorlin::~frmQuorlin() {
  if (busy_) QGuiApplication::restoreOverrideCursor();
}

void frmQuorlin::CreateMenus() {
  Presenter* p = &presenter_;
  QMenu* mnufile = Named(menuBar()->addMenu(tr("&File")), "mnufile");
  connect(Named(mnufile->addAction(tr("&Open")), "mnufileopen"), &QAction::triggered, [p] { p->mnufileopen_Click(); });
  Named(mnufile->addSeparator(), "mnufilesep1");
  connect(Named(mnufile->addAction(tr("&Game Folder...")), "mnufileGameFolder"), &QAction::triggered,
          [p] { p->mnufileGameFolder_Click(); });
  connect(Named(mnufile->addAction(tr("E&xit")), "mnufileexit"), &QAction::triggered, [p] { p->mnufileexit_Click(); });

  QMenu* mnuedit = Named(menuBar()->addMenu(tr("&Edit")), "mnuedit");
  connect(Named(mnuedit->addAction(tr("&Insert Skin")), "mnueditInsert"), &QAction::triggered,
          [p] { p->mnueditInsert_Click(); });
  Named(mnuedit->addSeparator(), "mnueditsep1");
  connect(Named(mnuedit->addAction(tr("&Restore to Original")), "mnueditRestore"), &QAction::triggered,
          [p] { p->mnueditRestore_Click(); });
  connect(Named(mnuedit->addAction(tr("Restore &Slot to Original")), "mnueditRestoreSlot"), &QAction::triggered,
          [p] { p->mnueditRestoreSlot_Click(); });
  connect(Named(mnuedit->addAction(tr("&Undo Last Change to Slot")), "mnueditUndo"), &QAction::triggered,
          [p] { p->mnueditUndo_Click(); });
  Named(mnuedit->addSeparator(), "mnueditsep2");
  // Checked or not by the presenter alone (SetSmoothLevelsChecked), as the Skin items are.
  mnueditSmooth = Named(mnuedit->addAction(tr("S&mooth Texture Levels")), "mnueditSmooth");
  mnueditSmooth->setCheckable(true);
  connect(mnueditSmooth, &QAction::triggered, [p] { p->mnueditSmooth_Click(); });

  // The ticks are set by the presenter through SetSkinItemChecked alone, so the
  // items are independent checkable actions rather than an exclusive group.
  mnuskin = Named(menuBar()->addMenu(tr("&Skin")), "mnuskin");
  auto* style = new SkinMenuStyle;
  style->setParent(mnuskin);
  mnuskin->setStyle(style);
  for (int index = kFirstMenuSlot; index <= kLastMenuSlot; ++index) {
    QAction* item = mnuskin->addAction(QString::number(index));
    item->setObjectName(QStringLiteral("skinl_%1").arg(index));
    item->setCheckable(true);
    connect(item, &QAction::triggered, [p, index] { p->skinl_Click(index); });
    skinl[index] = item;
  }
}

void frmQuorlin::SetTitle(const std::string& title) { setWindowTitle(Text(title)); }

void frmQuorlin::SetStatus(const std::string& text, bool repaintNow) {
  lblStatus->setText(Text(text));
  if (repaintNow) lblStatus->repaint();
}

MessageAnswer frmQuorlin::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                      MessageButtons buttons) {
  const bool question = buttons == MessageButtons::YesNo;
  QMessageBox box(ToQtIcon(icon), Text(title), Text(text),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
  const int answer = box.exec();
  if (!question) return MessageAnswer::Ok;
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void frmQuorlin::SetBusy(bool busy) {
  busy_ = busy;
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

void frmQuorlin::SetSkinItemChecked(int index, bool checked) {
  if (const auto item = skinl.find(index); item != skinl.end()) item->second->setChecked(checked);
}

void frmQuorlin::SetSmoothLevelsChecked(bool checked) { mnueditSmooth->setChecked(checked); }

void frmQuorlin::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void frmQuorlin::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    paths.push_back(url.isLocalFile() ? QFile::encodeName(QDir::toNativeSeparators(url.toLocalFile())).toStdString()
                                      : std::string());
  }
  event->acceptProposedAction();
  presenter_.DropFiles(paths);
}

void frmQuorlin::SetSkinItemIcon(int index, const ImageBuffer* icon) {
  const auto item = skinl.find(index);
  if (item == skinl.end()) return;
  if (!icon || icon->Width != kSkinIconSide || icon->Height != kSkinIconSide ||
      icon->Pixels.size() < PixelBytes(icon->Width, icon->Height)) {
    item->second->setIcon(QIcon());
    return;
  }
  // One image pixel per device pixel, enlarged by whole steps on a scaled screen; the
  // pixmap says how many device pixels a logical one has, so Qt draws it unscaled.
  const qreal ratio = mnuskin->devicePixelRatioF();
  const int side = kSkinIconSide * IconStep(ratio);
  const QImage view(icon->Pixels.data(), icon->Width, icon->Height, static_cast<qsizetype>(icon->Width) * 3,
                    QImage::Format_BGR888);
  QPixmap pixmap = QPixmap::fromImage(view.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation));
  pixmap.setDevicePixelRatio(ratio);
  item->second->setIcon(QIcon(pixmap));
}

void frmQuorlin::ShowPicture(const ImageBuffer* image) {
  if (!image || image->Width <= 0 || image->Height <= 0 ||
      image->Pixels.size() < PixelBytes(image->Width, image->Height)) {
    Picture1->clear();
    return;
  }
  // A view over the buffer's rows; the pixmap is a copy, so later changes to the
  // buffer do not reach the screen. At a scaling above 100 % it is marked as
  // having as many pixels per point, so each image pixel covers one device pixel.
  const QImage view(image->Pixels.data(), image->Width, image->Height, static_cast<qsizetype>(image->Width) * 3,
                    QImage::Format_BGR888);
  QPixmap pixmap = QPixmap::fromImage(view);
  pixmap.setDevicePixelRatio(devicePixelRatioF());
  Picture1->setPixmap(pixmap);
}

std::optional<std::string> frmQuorlin::AskForPicture(const std::string& title, const std::vector<FileFilter>& filters,
                                                     const std::string& startFolder) {
  QFileDialog dialog(this, Text(title), QFile::decodeName(startFolder.c_str()));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  QStringList labels;
  for (const FileFilter& f : filters) labels << Text(f.Label);
  dialog.setNameFilters(labels);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(QDir::toNativeSeparators(dialog.selectedFiles().constFirst())).toStdString();
}

std::optional<std::string> frmQuorlin::AskForFolder(const std::string& title, const std::string& startFolder) {
  const QString folder = QFileDialog::getExistingDirectory(this, Text(title), QFile::decodeName(startFolder.c_str()));
  if (folder.isEmpty()) return std::nullopt;
  return QFile::encodeName(QDir::toNativeSeparators(folder)).toStdString();
}

bool frmQuorlin::ShowProgress(const std::string& what, int thousandths) {
  if (!progress_) {
    // The dialog appears only if the copy lasts longer than half a second; until
    // then input is held back so no other command can start.
    progress_ = std::make_unique<QProgressDialog>(Text(what), tr("Cancel"), 0, 1000, this);
    progress_->setWindowTitle(QString::fromLatin1(text::kProgramTitle));
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumDuration(500);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
  }
  progress_->setLabelText(Text(what));
  progress_->setValue(thousandths);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return !progress_->wasCanceled();
}

void frmQuorlin::CloseProgress() { progress_.reset(); }

std::optional<size_t> frmQuorlin::ChooseInstallation(const std::vector<Installation>& found) {
  QDialog dialog(this);
  dialog.setWindowTitle(QString::fromLatin1(text::kProgramTitle));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(tr("The game is installed in several Wine prefixes. Which one is to be used?")));
  auto* list = new QTreeWidget;
  list->setHeaderLabels({tr("Launcher"), tr("Prefix"), tr("Game folder")});
  list->setRootIsDecorated(false);
  for (const Installation& i : found) {
    new QTreeWidgetItem(list, {QString::fromLatin1(LauncherName(i.Launcher)), QString::fromLocal8Bit(i.Prefix.c_str()),
                               QString::fromLocal8Bit(i.Game.c_str())});
  }
  list->setCurrentItem(list->topLevelItem(0));
  for (int column = 0; column < 3; ++column) list->resizeColumnToContents(column);
  list->setMinimumWidth(640);
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  connect(list, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted || !list->currentItem()) return std::nullopt;
  return static_cast<size_t>(list->indexOfTopLevelItem(list->currentItem()));
}

}  // namespace quorlin::gui
