// Opens an architect and a developer scope on a thread without a context
// record, with the default destination active. Exits with 1 when a scope
// installed a record.
#include <Vantrel.h>

using namespace Vantrel;

int main() {
  Admin::active(true);
  Admin::importance(Vantrel::XS);
  {
    Context::ArchitectScope architect(Context::SubFields{"ada"});
    Context::DeveloperScope developer(Context::SubFields{"dev"});
    if (Context::get_data() != nullptr) return 1;
  }
  return Context::get_data() == nullptr ? 0 : 1;
}
