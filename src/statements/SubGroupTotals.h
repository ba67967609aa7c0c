#pragma once

#include <QString>

class TClientDataSet;

// The group statement's tables and the sub-group list it derives from the product lines.

// Declares the fields of the product lines (cdsProduto) with their grid titles and display formats.
void declareProductLines(TClientDataSet& products);
// Declares the fields of the sub-groups the server sends (cdsGrupo).
void declareSubGroups(TClientDataSet& subGroups);
// Declares the fields of the listed sub-groups (cdsFinal).
void declareSubGroupList(TClientDataSet& list);

// The filter expression that keeps the product lines of one sub-group; any code, quotes included.
QString subGroupFilter(const QString& code);
// Restricts the product lines to one sub-group (filter off, expression, filter on).
void restrictToSubGroup(TClientDataSet& products, const QString& code);

struct GrandTotals {
    double employee = 0;    // paid by the employee: quantity x VRUNITVEND
    double subsidised = 0;  // paid by the employer: quantity x VRUNITVENDCL
};

// Fills the list with one row per sub-group of `subGroups` whose lines add up to more than zero cents,
// in the reverse of the order of `subGroups`, with its amount in VRTOTAL, and returns the grand totals of
// the listed sub-groups. Each sub-group is summed on its own: the amounts of one that is not listed (zero,
// or negative through returns) never reach another. Leaves the product lines restricted to the last
// sub-group and the list on its last inserted row.
GrandTotals buildSubGroupList(TClientDataSet& subGroups, TClientDataSet& products, TClientDataSet& list);
