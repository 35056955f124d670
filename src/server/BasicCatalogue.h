#pragma once

class Connection;

// The catalogue nobody can start an inventory without, written into a database that has just been
// created: the kinds an IT department always has under each of the four type letters, and the
// document kinds. Nothing else (no firms, models or departments). Entries already present (the
// same type and name of a kind, the same code of a document kind) are kept as they are. One
// transaction.
void CreateBasicCatalogue(Connection &cn);

struct BasicKind {
    char type;
    const char *name;
    const char *shortName;
};

struct BasicDocKind {
    const char *code;
    const char *name;
};

// What CreateBasicCatalogue writes, in the order the kinds are listed within their type.
const BasicKind *BasicKinds(int *count);
const BasicDocKind *BasicDocKinds(int *count);
