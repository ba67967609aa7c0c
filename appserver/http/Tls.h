#pragma once

#include "http/Server.h"

#include <QString>

namespace http {

// The TLS context of a server that presents the certificate chain and key in these PEM files: TLS 1.2 and
// 1.3, forward-secret AEAD suites only, no renegotiation. Raises std::runtime_error that says which file is
// wrong and why.
TlsContext loadTlsContext(const QString& certificateFile, const QString& keyFile);

}  // namespace http
