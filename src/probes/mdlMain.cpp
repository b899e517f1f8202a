#include "probes/mdlMain.h"

namespace mdlMain {

QString strObjectPath;

} // namespace mdlMain
