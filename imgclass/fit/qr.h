// Dense linear least squares A·x ≈ b (m rows >= n unknowns, double) by
// Householder QR, with a relative rank test on the diagonal of R, back
// substitution and the standard errors of the unknowns.
//
// Calling order: Householder_QR, then (only if it returned false)
// Backsubst_R, then optionally Param_errors. The solver works in place on
// the caller's arrays and allocates nothing except in Param_errors.
// Its failures are quenz::InternalError: scripts learn only that the C++
// side failed ("Some C++-Error").
#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace quenz {

// A table of row pointers into one contiguous row-major block of doubles;
// the solver itself only needs the row pointers (rows()). The elements are
// not initialised, so a large capacity costs no memory until it is used.
class Matrix {
public:
    Matrix() = default;
    Matrix(int nrows, int ncols);
    double** rows() { return rows_.get(); }
    double* operator[](int r) { return rows_[r]; }
    const double* operator[](int r) const { return rows_[r]; }
    int nrows() const { return nrows_; }
    int ncols() const { return ncols_; }

private:
    int nrows_ = 0, ncols_ = 0;
    std::unique_ptr<double[]> block_;
    std::unique_ptr<double*[]> rows_;
};

// Refuses m < n with the solver's own text, before anything is touched.
void qr_check_shape(int m, int n);

// Factorises the m x n matrix A in place: above the diagonal R without its
// diagonal, from the diagonal down the Householder vectors; diag receives
// R's diagonal and b becomes Qᵀb. Returns true, having stopped early, when
// a diagonal element falls below eps times the previous one. The
// "Diagonal-elem. <i> = 0" lines go to standard error, or are appended to
// *log when given (the parallel fit keeps its output in order that way).
bool Householder_QR(int m, int n, double** A, double* diag, double* b, double eps,
                    std::string* log = nullptr);

// Solves R·x = (Qᵀb)[0..n-1].
void Backsubst_R(int n, double* const* A, const double* diag, const double* b, double* x);

// Standard errors of the n unknowns from the residual of b[n..m-1];
// overwrites the diagonal of A with diag. Needs n < m.
void Param_errors(int n, int m, double** A, const double* diag, const double* b, double* err);

// The lower triangle (diagonal included) of K receives (RᵀR)⁻¹ for the
// upper triangle of the n x n matrix R.
void Invert_RtR(double* const* R, double** K, int n);

}  // namespace quenz
