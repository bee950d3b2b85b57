#include <QApplication>
#include <csignal>

#include "gui/frm_quorlin.h"
#include "gui/test_aids.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);  // a file-size limit fails the write, which is reported
#endif
  QApplication app(argc, argv);
  quorlin::gui::frmQuorlin window(quorlin::HooksFromEnvironment());
  quorlin::Presenter& presenter = window.presenter();
  // Start-up runs before the window is first shown; a missing game ends the
  // program without it.
  if (presenter.Form_Load() == quorlin::Outcome::EndProgram) return 1;
  quorlin::gui::StartTestAids(window, presenter.ShowAndStartTestAids());
  const int code = app.exec();
  return code != 0 ? code : presenter.ExitStatus();
}
