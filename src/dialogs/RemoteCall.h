#pragma once

#include <QString>
#include <QVariant>

class TNetConnection;

// How every screen talks to its remote data module.

// Points a connection at the application server (the kit's WebURL, WebPort and the CA file that makes
// the link HTTPS); every screen's
// before-connect handler does exactly this.
void PointAtApplicationServer(TNetConnection& connection);

// Switches the connection on under the wait animation of the given kind; the animation is removed on every
// path and a failure to connect is passed on.
void ConnectUnderWait(TNetConnection& connection, int kind = 6);

// Switches the connection off, repeating while it still reports itself connected.
void DisconnectFully(TNetConnection& connection);

// One remote call: the wait animation (unless withWait is false), the call, then CheckServerResult with
// the report's method name, program identifier and parameter text (scheme "002"). Returns the accepted
// answer. A server error text is reported and ends the caller's work with SilentAbort; a transport fault
// is passed on. The animation is removed on every path.
QVariant CallChecked(TNetConnection& connection, const QString& method, const QVariantList& arguments,
                     const QString& reportedMethod, const QString& programName, const QString& parameters,
                     bool withWait = true);
