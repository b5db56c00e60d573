// The program's entry: the application object, the icon, then the start
// sequence. The exit status is wWinMain's answer (255 when another
// instance runs).
#include <QApplication>

#include "app.h"
#include "ui/program_icon.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  shapeglean::RegisterProgramIcon();
  return shapeglean::wWinMain() & 0xFF;
}
