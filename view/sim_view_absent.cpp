// The simulator built without the live view (no cpp-httplib): --view says so.

#include "view/sim_view.h"

bool simViewStart(const Scenario&, const SimViewOptions&, std::string& error) {
  error = "built without the live view: cpp-httplib (libcpp-httplib-dev) was not found";
  return false;
}

void simViewObserve(const ObservedCall&) {}

void simViewFinish(int) {}
