#include "gui/frm_quorlin.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressDialog>
#include <exception>

#include "image/image_buffer.h"
#include "image/picture/picture_decoder.h"
#include "platform/error.h"

namespace quorlin::gui {

namespace {

// Copy progress is shown in thousandths, so that files of any length fit an int.
constexpr int kProgressSteps = 1000;

QString Text(const std::string& text) { return QString::fromStdString(text); }

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Critical:
      return QMessageBox::Critical;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QAction* AddItem(QMenu* menu, const char* name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

QMenu* AddMenu(QMenuBar* bar, const char* name, const QString& caption) {
  QMenu* menu = bar->addMenu(caption);
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

}  // namespace

frmQuorlin::frmQuorlin(WindowHooks hooks, QWidget* parent) : QMainWindow(parent), hooks_(std::move(hooks)) {
  setObjectName(QStringLiteral("frmQuorlin"));
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  setWindowIcon(MakeWindowIcon());

  // A fixed client area with the controls at fixed places, as the form was drawn.
  auto* client = new QWidget(this);
  client->setFixedSize(537, 545);
  setCentralWidget(client);

  Picture1 = new QLabel(client);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Picture1->setFrameShape(QFrame::NoFrame);
  Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Picture1->setGeometry(12, 4, 513, 513);

  Frame1 = new QFrame(client);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  Frame1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  Frame1->setGeometry(8, 517, 521, 28);

  lblStatus = new QLabel(QStringLiteral("Ready to load texture."), Frame1);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setGeometry(6, 3, 509, 22);
  lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  CreateMenus();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

frmQuorlin::~frmQuorlin() {
  if (busy_) QGuiApplication::restoreOverrideCursor();
}

void frmQuorlin::CreateMenus() {
  QMenu* mnufile = AddMenu(menuBar(), "mnufile", tr("&File"));
  connect(AddItem(mnufile, "mnufileopen", tr("&Open")), &QAction::triggered, this, &frmQuorlin::mnufileopen_Click);
  mnufile->addSeparator()->setObjectName(QStringLiteral("mnufilesep1"));
  connect(AddItem(mnufile, "mnufileexit", tr("E&xit")), &QAction::triggered, this, &frmQuorlin::mnufileexit_Click);

  QMenu* mnuedit = AddMenu(menuBar(), "mnuedit", tr("&Edit"));
  connect(AddItem(mnuedit, "mnueditInsert", tr("&Insert Skin")), &QAction::triggered, this,
          &frmQuorlin::mnueditInsert_Click);
  mnuedit->addSeparator()->setObjectName(QStringLiteral("mnueditsep1"));
  connect(AddItem(mnuedit, "mnueditRestore", tr("&Restore to Original")), &QAction::triggered, this,
          &frmQuorlin::mnueditRestore_Click);

  // The ticks are set by the core's skinl_Click through SetSkinItemChecked alone,
  // so the items are independent checkable actions rather than an exclusive group.
  QMenu* mnuskin = AddMenu(menuBar(), "mnuskin", tr("&Skin"));
  for (int index = kFirstMenuSlot; index <= kLastMenuSlot; ++index) {
    QAction* item = mnuskin->addAction(QString::number(index));
    item->setObjectName(QStringLiteral("skinl_%1").arg(index));
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, index] { skinl_Click(index); });
    skinl[index] = item;
  }
}

Outcome frmQuorlin::Form_Load() {
  const Outcome outcome = quorlin::Form_Load(state_, *this, hooks_.startup);
  state_.Archives.Close();  // no file stays open while the window waits
  if (outcome == Outcome::EndProgram) {
    exitStatus_ = 1;
    hide();  // start-up may have shown the window to re-index
  }
  return outcome;
}

// ---- menu handlers ----

void frmQuorlin::mnufileopen_Click() {
  QString path;
  if (hooks_.choosePicture) {
    path = hooks_.choosePicture();
  } else if (const auto dialog = MakeOpenDialog(this);
             dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
    path = dialog->selectedFiles().constFirst();
  }
  if (!path.isEmpty()) OpenPictureFile(path);
}

void frmQuorlin::OpenPictureFile(const QString& path) {
  const std::string nativePath = QFile::encodeName(QDir::toNativeSeparators(path)).toStdString();
  Run([&] { return OpenPicture(state_, *this, nativePath, DecodePicture); });
}

void frmQuorlin::mnufileexit_Click() { EndProgram(0); }

void frmQuorlin::mnueditInsert_Click() {
  Run([&] { return quorlin::mnueditInsert_Click(state_, *this); });
}

void frmQuorlin::mnueditRestore_Click() {
  Run([&] { return quorlin::mnueditRestore_Click(state_, *this); });
}

void frmQuorlin::skinl_Click(int Index) { quorlin::skinl_Click(state_, *this, static_cast<int16_t>(Index)); }

void frmQuorlin::Run(const std::function<Outcome()>& command) {
  // A file that changed while the window waited may still have its old length and
  // modification time: every command opens the archives and reads them afresh, and
  // closes them when it ends.
  state_.Archives.Close();
  struct CloseAfter {
    OpenArchives& archives;
    ~CloseAfter() { archives.Close(); }
  } closeAfter{state_.Archives};
  Outcome outcome = Outcome::Done;
  // The commands report their own failures; anything that still escapes ends the
  // program with a report rather than leaving it in an unknown state.
  try {
    outcome = command();
  } catch (const QuorlinError& e) {
    SetBusy(false);
    ShowMessage("Error " + std::to_string(e.number()) + "\n" + e.what(), kProgramTitle, MessageIcon::Critical,
                MessageButtons::Ok);
    outcome = Outcome::EndProgram;
  } catch (const std::exception& e) {
    SetBusy(false);
    ShowMessage(std::string("Error\n") + e.what(), kProgramTitle, MessageIcon::Critical, MessageButtons::Ok);
    outcome = Outcome::EndProgram;
  }
  if (outcome == Outcome::EndProgram) EndProgram(1);
}

void frmQuorlin::EndProgram(int status) {
  exitStatus_ = status;
  close();
}

void frmQuorlin::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    if (hooks_.firstShown) hooks_.firstShown();
  }
}

// ---- Shell ----

void frmQuorlin::SetStatus(const std::string& text, bool repaintNow) {
  lblStatus->setText(Text(text));
  if (repaintNow) lblStatus->repaint();
}

MessageAnswer frmQuorlin::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon,
                                      MessageButtons buttons) {
  if (hooks_.answerMessage) return hooks_.answerMessage(text, title, icon, buttons);
  const bool question = buttons == MessageButtons::YesNo;
  QMessageBox box(ToQtIcon(icon), Text(title), Text(text),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, this);
  const int answer = box.exec();
  if (!question) return MessageAnswer::Ok;
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void frmQuorlin::SetBusy(bool busy) {
  // The commands may ask for the same state twice; the override cursor stack must
  // stay balanced all the same.
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
    CloseProgress();  // a copy that failed half-way leaves no dialog behind
  }
}

void frmQuorlin::SetTitle(const std::string& title) { setWindowTitle(Text(title)); }

void frmQuorlin::ShowWindow() { show(); }

void frmQuorlin::SetSkinItemChecked(int index, bool checked) {
  if (const auto item = skinl.find(index); item != skinl.end()) item->second->setChecked(checked);
}

void frmQuorlin::ShowPicture(const ImageBuffer* image) {
  if (image == nullptr) {
    Picture1->clear();
    return;
  }
  RefreshPicture(*image);
}

void frmQuorlin::RefreshPicture(const ImageBuffer& image) {
  if (image.Width <= 0 || image.Height <= 0 || image.Pixels.size() < PixelBytes(image.Width, image.Height)) {
    Picture1->clear();
    return;
  }
  // A view over the buffer's rows; fromImage copies it, so later changes to the
  // buffer do not reach the screen.
  const QImage view(image.Pixels.data(), image.Width, image.Height, static_cast<qsizetype>(image.Width) * 3,
                    QImage::Format_BGR888);
  Picture1->setPixmap(QPixmap::fromImage(view));
}

bool frmQuorlin::CopyProgress(const std::string& what, uint64_t copied, uint64_t total) {
  if (copied == 0 || !progress_) {
    // A new copy. The dialog appears only if the copy lasts longer than half a
    // second; until then input is held back so no other command can start.
    progress_ = std::make_unique<QProgressDialog>(Text(what), tr("Cancel"), 0, kProgressSteps, this);
    progress_->setWindowTitle(QString::fromLatin1(kProgramTitle));
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumDuration(500);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
  }
  if (total > 0) {
    progress_->setValue(
        static_cast<int>(static_cast<long double>(copied) * kProgressSteps / static_cast<long double>(total)));
  }
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const bool goOn = !progress_->wasCanceled();
  if (!goOn || copied >= total) CloseProgress();
  return goOn;
}

void frmQuorlin::CloseProgress() { progress_.reset(); }

// ---- helpers ----

std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent) {
  auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Open 512x512 Skin"));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setNameFilters({QStringLiteral("All Formats (*.bmp *.tga *.jpg *.png)"),
                          QStringLiteral("Windows Bitmap (*.bmp)"), QStringLiteral("Jpeg File (*.jpg)"),
                          QStringLiteral("Targa File (*.tga)"), QStringLiteral("PNG Image (*.png)")});
  return dialog;
}

QIcon MakeWindowIcon() {
  // A "Q" in a picture frame: a gold ring with its tail over a dark blue tile.
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 210, 230), 1.5));
  painter.setBrush(QColor(32, 52, 92));
  painter.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
  painter.setPen(QPen(QColor(240, 184, 48), 4, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QRectF(7, 6, 16, 16));
  painter.drawLine(QPointF(19, 19), QPointF(25, 25));
  painter.end();
  return QIcon(pixmap);
}

}  // namespace quorlin::gui
