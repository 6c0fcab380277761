// tavrona: the desktop program.
#include "ui/application.h"

int main(int argc, char** argv) {
  return tavrona::RunTavrona(argc, argv);
}
