// Calibration curves: count = eichfun(x) is the model, but images need the
// other direction, so every curve inverts itself once into a table with
// one physical value per 16-bit count.
#pragma once
#include <memory>
#include <span>

#include "imgclass/core/bild16.h"

class eichkurve {
public:
    static constexpr int table_size = 65536;
    // The inversion gives up after this many false-position steps and keeps
    // its current x; no curve of realistic shape needs more than a few dozen.
    static constexpr int max_steps = 10000;

    eichkurve(const eichkurve&) = delete;
    eichkurve& operator=(const eichkurve&) = delete;
    virtual ~eichkurve() = default;

    virtual double eichfun(double x) const = 0;      // count for x
    virtual double deichfun_dx(double x) const = 0;  // its derivative
    virtual double initguess(bild16::data_t val) const = 0;  // closed-form inverse estimate

    double apply(bild16::data_t val) const { return table[val]; }
    std::span<const double, table_size> values() const {
        return std::span<const double, table_size>(table.get(), table_size);
    }
    void table_write(const char* name) const;

    // False position on eichfun for the count val over [lo, hi]; counts
    // outside the curve's range there clamp to the nearer end.
    double invert(double val, double lo, double hi) const;

protected:
    eichkurve() : table(new double[table_size]()) { account.resize(table_size * sizeof(double)); }
    // table[i] = invert(i, lo, hi) for every count, on all cores.
    void fill_table(double lo, double hi);
    double* mutable_table() { return table.get(); }

private:
    // invert() with the curve's values at the ends already known.
    double invert(double val, double lo, double hi, double f_lo, double f_hi) const;

    quenz::BigBlock account;  // (before the table: counts down after it is freed)
    std::unique_ptr<double[]> table;
};
