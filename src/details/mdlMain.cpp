#include "details/mdlMain.h"

namespace mdlMain {

QString strObjectPath;

} // namespace mdlMain
