// The program entry: the main window with its start-up sequence, then the
// message loop.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/data_files.h"
#include "app/document_opener.h"
#include "app/main_form.h"
#include "app/message_dialogs.h"
#include "app/start_probe.h"
#include "link/clock.h"
#include "procedure/sound_output.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    librato::app::MessageBoxDialogs dialogs;
    librato::app::DesktopDocumentOpener opener;
    librato::app::TMainForm form(&dialogs, &opener);
    dialogs.setParent(&form);
    librato::SdlSoundOutput sound(librato::RealClock());
    form.setNotifySound([&sound] {
      const QString path = librato::app::FindDataFile("Sounds/notify.wav");
      if (!path.isEmpty()) sound.play(path.toStdString(), false);
    });
    librato::app::StartProbe probe(form);  // only when the start-up benchmark asks
    form.FormCreate();
    form.show();
    app.exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Librato", QString::fromStdString(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, "Librato", QString());
  }
  return 0;
}
