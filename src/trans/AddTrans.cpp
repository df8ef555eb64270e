#include "AddTrans.h"

void AddTrans::process() {}
