#include "DeleteTrans.h"

void DeleteTrans::process() {}
