#pragma once

// The exchanges with the two state systems: the client runs them, the sandbox answers them. The one
// list of operations; what else is told per operation (the value provider's kind, the field file,
// the sandbox's names) is derived from it. An order and its cancellation are told apart by the
// caller.
enum class Operation { Payment, PackageStatus, Charges, DocumentDetails, Order, Cancellation, GetState };
