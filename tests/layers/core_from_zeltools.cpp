// Built as a source of the xml layer (the highest below the core): a core
// header is not found, however named; the layer's own header is.
#if defined(VANTREL_LAYER_CHECK_bare)
#include "Logos.h"
#elif defined(VANTREL_LAYER_CHECK_qualified)
#include "src/Logos.h"
#else
#include "zeltools/xml/Xml.h"
#endif

int vantrel_layer_check() { return 0; }
