// packtool: makes and inspects packaged presentations. See packtool --help.
#include "embedded_images.h"
#include "file_io.h"
#include "packtool.h"

int main(int argc, char** argv) {
  std::string out;
  std::string err;
  int code = packtool::RunPacktool(packtool::ProgramArguments(argc, argv), packtool::EmbeddedImages(), &out, &err);
  packtool::WriteToConsole(out, false);
  packtool::WriteToConsole(err, true);
  return code;
}
