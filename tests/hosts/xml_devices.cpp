// Writes one message to each of two devices in argv[1]: "xmldev" asks for the
// "xml" extension, "txtdev" for "txt" (which becomes the default extension).
#include <Vantrel.h>

#include <string>

using namespace Vantrel;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string const dir = argv[1];
  Context::Device xml_device("xmldev", "xml", dir, dir + "/absent.ini");
  Context::Device txt_device("txtdev", "txt", dir, dir + "/absent.ini");
  {
    Context::WithDevice with(xml_device);
    Admin::active(true);
    Printf{Vantrel::M}("to xml");
  }
  {
    Context::WithDevice with(txt_device);
    Admin::active(true);
    Printf{Vantrel::M}("to txt");
  }
  return 0;
}
