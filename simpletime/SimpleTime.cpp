#include "SimpleTime.h"
#include <ctime>
namespace SimpleTime {
double clock() { timespec ts; clock_gettime(CLOCK_REALTIME, &ts); return double(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000; }
}
