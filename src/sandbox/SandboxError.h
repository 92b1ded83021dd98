#pragma once

#include "foundation/Exceptions.h"

// A failure of the sandbox itself: its files, keys, data set, TLS or address.
ZELVAN_DECLARE_EXCEPTION(ESandboxError, Exception);

// An instruction the sandbox does not take: a fault assignment or a command-line option.
ZELVAN_DECLARE_EXCEPTION(ESandboxUsageError, Exception);
