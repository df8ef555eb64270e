#include "ChangeTrans.h"

void ChangeTrans::process() {}
