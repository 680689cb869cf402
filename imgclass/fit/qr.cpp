// Householder QR least squares. Every sum runs in the order written so
// that results are reproducible to the last bit.
#include "imgclass/fit/qr.h"

#include <cmath>
#include <iostream>

#include "imgclass/system/error.h"

namespace quenz {

Matrix::Matrix(int nrows, int ncols)
    : nrows_(nrows),
      ncols_(ncols),
      block_(new double[std::size_t(nrows) * std::size_t(ncols)]),
      rows_(new double*[std::size_t(nrows)]) {
    for (int r = 0; r < nrows; ++r) rows_[r] = block_.get() + std::size_t(r) * std::size_t(ncols);
}

void qr_check_shape(int m, int n) {
    if (m < n) throw InternalError("Matrix darf nicht weniger Zeilen als Spalten haben !");
}

bool Householder_QR(int m, int n, double** A, double* diag, double* b, double eps,
                    std::string* log) {
    qr_check_shape(m, n);
    double prev = 0.0;
    for (int i = 0; i < n; ++i) {
        double s2 = 0.0;
        for (int r = i + 1; r < m; ++r) s2 += A[r][i] * A[r][i];
        double c = A[i][i];
        if (eps * eps * s2 > c * c) {
            // The diagonal element is negligible against the column below it.
            A[i][i] = std::sqrt(s2);
            diag[i] = -std::sqrt(s2);
            std::string line = "Diagonal-elem. " + std::to_string(i) + " = 0\n";
            if (log)
                *log += line;
            else
                std::cerr << line << std::flush;
        } else {
            double sigma = c > 0 ? 1.0 : -1.0;
            double norm = std::sqrt(s2 + c * c);
            diag[i] = -sigma * norm;
            A[i][i] = c + sigma * norm;
        }
        if (eps * prev > std::fabs(diag[i])) return true;
        prev = std::fabs(diag[i]);

        double beta = 2.0 / (s2 + A[i][i] * A[i][i]);
        for (int k = i + 1; k < n; ++k) {
            double sum = 0.0;
            for (int r = i; r < m; ++r) sum += A[r][k] * A[r][i];
            double t = beta * sum;
            for (int r = i; r < m; ++r) A[r][k] -= t * A[r][i];
        }
        double sum = 0.0;
        for (int r = i; r < m; ++r) sum += b[r] * A[r][i];
        double t = beta * sum;
        for (int r = i; r < m; ++r) b[r] -= t * A[r][i];
    }
    return false;
}

void Backsubst_R(int n, double* const* A, const double* diag, const double* b, double* x) {
    for (int i = n - 1; i >= 0; --i) {
        double sum = 0.0;
        for (int j = i + 1; j < n; ++j) sum += A[i][j] * x[j];
        x[i] = (b[i] - sum) / diag[i];
    }
}

void Param_errors(int n, int m, double** A, const double* diag, const double* b, double* err) {
    double rss = 0.0;
    for (int i = n; i < m; ++i) rss += b[i] * b[i];
    if (n >= m) throw InternalError("Error: Parameter errors only für num_data < num_data");
    double s = std::sqrt(rss / (m - n));
    for (int j = 0; j < n; ++j) A[j][j] = diag[j];
    Matrix K(n, n);
    Invert_RtR(A, K.rows(), n);
    for (int k = 0; k < n; ++k) err[k] = std::sqrt(K[k][k]) * s;
}

void Invert_RtR(double* const* R, double** K, int n) {
    for (int j = 0; j < n; ++j) {
        for (int l = 0; l < j; ++l) K[j][l] = 0.0;
        K[j][j] = 1.0;
        if (R[j][j] == 0.0) throw InternalError("Singular matrix in Invert_RtR");
    }
    // Rᵀ·Y = I, column by column.
    for (int j = 0; j < n; ++j)
        for (int r = j; r < n; ++r) {
            double sum = 0.0;
            for (int l = j; l < r; ++l) sum += R[l][r] * K[l][j];
            K[r][j] = (K[r][j] - sum) / R[r][r];
        }
    // R·X = Y.
    for (int j = 0; j < n; ++j)
        for (int k = n - 1; k >= j; --k) {
            double sum = 0.0;
            for (int i = k + 1; i < n; ++i) sum += R[k][i] * K[i][j];
            K[k][j] = (K[k][j] - sum) / R[k][k];
        }
}

}  // namespace quenz
