#pragma once

#include <QString>

// Where the application server is: its address as stored on the set-up keypad, and its port.
constexpr int DefaultServerPort = 8211;

// The stored server address (registry value IPServidor).
QString WebURL();
// The registry value PortaServidor when it holds a port number, otherwise DefaultServerPort.
int WebPort();
// The registry value CertificadoCA: the PEM file of the authority that signed the server's certificate;
// empty for plain HTTP.
QString WebCaFile();
