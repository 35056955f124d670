// The schema step that keeps the keys of missing owners of workplaces and devices.
#pragma once

class Connection;

namespace Schema {

// MissingOwner (Kind, OwnerKey): every key that a workplace (Kind 'D': a department's key) or a
// device (Kind 'W': a workplace's key) points at while no such owner is there. Such rows can only
// be written by a client with its references switched off (the sqlite3 shell); on SQLite the
// triggers of Department, Workplace and DeviceUnit keep the table, for every client, so that the
// placement tree finds those rows by the few keys listed instead of reading every workplace and
// device. A listed key may have lost its rows since (the table holds at least every such key,
// not exactly those). On PostgreSQL the references always hold while their constraints stand:
// the table is there, empty, so that both engines hold the same tables.
void keepMissingOwners(Connection &cn);

} // namespace Schema
