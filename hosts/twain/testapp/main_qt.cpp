// The test application with Qt: the source runs inside a Qt program, whose
// event loop hands the source an event on every turn of a timer.
#include "hosts/twain/testapp/session.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return twain::runTestApplication(argc, argv, [&](twain::Session& session, const twain::SessionOptions& options) {
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, &app, [&] {
      if (!session.processEvent(nullptr)) app.quit();
    });
    pump.start(1);
    QTimer::singleShot(options.timeoutMs, &app, [&] { app.quit(); });
    app.exec();
  });
}
