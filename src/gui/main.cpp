#include <QApplication>
#include <QMessageBox>
#include <csignal>

#include "gui/frm_quorlin.h"
#include "gui/test_aids.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);  // a file-size limit fails the write, which is reported
#endif
  QApplication app(argc, argv);
  std::vector<std::string> args;  // what Qt left of them, after the program's name
  for (const QString& arg : QApplication::arguments().mid(1)) args.push_back(arg.toLocal8Bit().toStdString());
  quorlin::WindowArguments given;
  std::string usage;
  if (!quorlin::ParseWindowArguments(args, given, usage)) {
    QMessageBox::critical(nullptr, QStringLiteral("Quorlin"), QString::fromStdString(usage));
    return 2;
  }
  quorlin::WindowHooks hooks = quorlin::HooksFromEnvironment();
  hooks.Startup = given.Startup;
  quorlin::gui::frmQuorlin window(hooks);
  quorlin::Presenter& presenter = window.GetPresenter();
  // Start-up runs before the window is first shown; a missing game ends the
  // program without it.
  if (presenter.Form_Load() == quorlin::Outcome::EndProgram) return presenter.ExitStatus();
  quorlin::gui::StartTestAids(window, presenter.ShowAndStartTestAids(given.Picture));
  const int code = app.exec();
  return code != 0 ? code : presenter.ExitStatus();
}
