#include "uTools.h"
