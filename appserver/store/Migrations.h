#pragma once

class Connection;

// The schema's version after every migration has run.
int latestSchemaVersion();
// Brings a database that has the schema up to the latest version, one migration per transaction; a
// database already there costs two queries. Several processes may start at once: the version is read again
// under a write lock. A database without the schema is left untouched and raises StoreError (unavailable),
// unless `create` says to write the schema into it.
void applyMigrations(Connection& db, bool create);
// The version recorded in the database: 0 for one without the schema.
int schemaVersion(Connection& db);
