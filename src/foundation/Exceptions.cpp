#include "foundation/Exceptions.h"
