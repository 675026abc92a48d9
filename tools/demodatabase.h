#pragma once

#include <QString>

// Writes product databases for the demo, the tests' larger cases and the benchmarks.
namespace DemoDatabase {

struct Counts
{
    int series = 2000;          // a third outdoor, the rest indoor and other kinds
    int models = 50000;         // rows of __product_idx, accessories included
    int accessories = 5000;     // models of product type 2 and 10 with detail rows
    int oduIduPairs = 20000;    // stored rows of __rule_odu_idu_matching
    int accessoryMatches = 20000; // stored accessory matches, both tables together
    int ruleRows = 200;         // rows of each rule table
    int schemes = 2;            // brand schemes written to the config folder

    static Counts scaled(double factor);
};

// The small demo: a handful of series of every kind, Chinese names among them, matchings,
// rule tables and two brand schemes. `configDir` empty writes no schemes.
bool writeDemo(const QString &dbPath, const QString &configDir, QString *error);

// The large generated range. Deterministic for equal counts.
bool writeLarge(const QString &dbPath, const QString &configDir, const Counts &counts,
                QString *error);

} // namespace DemoDatabase
