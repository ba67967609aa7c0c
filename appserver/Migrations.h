#pragma once

class Connection;

// The schema's version after every migration has run.
int latestSchemaVersion();
// Brings the database up to the latest version, one migration per transaction; a database already there
// costs one query. Several processes may start at once: the version is read again under a write lock.
void applyMigrations(Connection& db);
// The version recorded in the database (0 for a new one).
int schemaVersion(Connection& db);
