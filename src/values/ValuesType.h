#pragma once

// The kind of the operation in progress. It decides which value keys have a source, so the
// order is fixed: field files and the window rely on these positions.
enum class TValuesType {
    vtGISGMPPayment,  // GIS GMP payment send and package status
    vtGISGMPCharges,  // GIS GMP charges request
    vtGISGKXPayment,  // GIS ZhKH notification of order execution
    vtGISGKXCancel,   // GIS ZhKH cancellation of that notification
    vtGISGKXGetState, // GIS ZhKH state query
    vtGISGKXCharges,  // GIS ZhKH payment document details request
};
