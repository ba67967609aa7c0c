#pragma once

#include "kit/core/Errors.h"

// The failures of the server link. Each carries a Portuguese text meant for the person at the kiosk.

// A body that breaks the wire format: malformed, truncated, oversized or of the wrong shape.
class WireError : public KioskError {
public:
    using KioskError::KioskError;
};

// The server could not be reached, did not answer in time, or answered with a protocol fault.
class ConnectionError : public KioskError {
public:
    using KioskError::KioskError;
};

// The server answered with its error text while the connection raises such texts (ThrowException on).
class ServerError : public KioskError {
public:
    using KioskError::KioskError;
};

// A dataset used against its rules: unknown field, missing declared field, no current record, ...
class DataSetError : public KioskError {
public:
    using KioskError::KioskError;
};

// A filter expression that cannot be read or does not fit the dataset's fields.
class FilterError : public KioskError {
public:
    using KioskError::KioskError;
};
