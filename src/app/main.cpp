// The program entry: the main window with its start-up sequence, then the
// message loop.
#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/document_opener.h"
#include "app/message_dialogs.h"
#include "app/run_window.h"
#include "app/start_probe.h"
#include "link/clock.h"
#include "procedure/sound_output.h"
#include "protocol/protocol_commands.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  try {
    librato::app::MessageBoxDialogs dialogs;
    librato::app::DesktopDocumentOpener helpOpener;
    librato::DesktopOpener protocolOpener;
    librato::LibreOfficePrinter printer;
    librato::Clock& clock = librato::RealClock();
    librato::SdlSoundOutput sound(clock);
    librato::app::RunWindow::Services services;
    services.dialogs = &dialogs;
    services.helpOpener = &helpOpener;
    services.protocolOpener = &protocolOpener;
    services.printer = &printer;
    services.sound = &sound;
    services.clock = &clock;
    librato::app::RunWindow form(services);
    dialogs.setParent(&form);
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
