// The user guide's worked host, built as it stands in the guide, so that a
// test can run it and check the files it promises.
#include "../../docs/examples/orders.cpp"
