#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "error.h"
#include "qr.h"

using quenz::Matrix;

namespace {

Matrix from_rows(std::vector<std::vector<double>> v) {
    Matrix m(int(v.size()), int(v[0].size()));
    for (int r = 0; r < m.nrows(); ++r)
        for (int c = 0; c < m.ncols(); ++c) m[r][c] = v[r][c];
    return m;
}

template <class F> std::string thrown_text(F f) {
    try {
        f();
    } catch (const quenz::InternalError& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

// Independent oracle: the normal equations, inverted by Gauss-Jordan in
// long double.
struct NormalEquations {
    std::vector<long double> x, err;
    NormalEquations(Matrix& A, const std::vector<double>& b) {
        int m = A.nrows(), n = A.ncols();
        std::vector<std::vector<long double>> G(n, std::vector<long double>(2 * n, 0));
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j)
                for (int r = 0; r < m; ++r) G[i][j] += (long double)A[r][i] * A[r][j];
            G[i][n + i] = 1;
        }
        for (int c = 0; c < n; ++c) {
            long double p = G[c][c];
            for (auto& v : G[c]) v /= p;
            for (int r = 0; r < n; ++r)
                if (r != c) {
                    long double f = G[r][c];
                    for (int k = 0; k < 2 * n; ++k) G[r][k] -= f * G[c][k];
                }
        }
        std::vector<long double> atb(n, 0);
        for (int i = 0; i < n; ++i)
            for (int r = 0; r < m; ++r) atb[i] += (long double)A[r][i] * b[r];
        x.assign(n, 0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) x[i] += G[i][n + j] * atb[j];
        long double rss = 0;
        for (int r = 0; r < m; ++r) {
            long double res = b[r];
            for (int i = 0; i < n; ++i) res -= A[r][i] * x[i];
            rss += res * res;
        }
        for (int i = 0; i < n; ++i) err.push_back(std::sqrt(G[i][n + i] * rss / (m - n)));
    }
};

}  // namespace

TEST(Matrix, RowPointersIntoOneBlock) {
    Matrix m(4, 3);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(m[r], m[0] + 3 * r);
    EXPECT_EQ(m.rows()[2], m[2]);
}

TEST(QR, StraightLineThroughExactPoints) {
    Matrix A = from_rows({{1, 0}, {1, 1}, {1, 2}, {1, 3}});
    std::vector<double> b{1, 3, 5, 7}, diag(2), x(2), err(2, -1.0);
    ASSERT_FALSE(quenz::Householder_QR(4, 2, A.rows(), diag.data(), b.data(), 1e-10));
    quenz::Backsubst_R(2, A.rows(), diag.data(), b.data(), x.data());
    EXPECT_NEAR(x[0], 1.0, 1e-14);
    EXPECT_NEAR(x[1], 2.0, 1e-14);
    quenz::Param_errors(2, 4, A.rows(), diag.data(), b.data(), err.data());
    EXPECT_NEAR(err[0], 0.0, 1e-14);
    EXPECT_NEAR(err[1], 0.0, 1e-14);
    // The diagonal of A now holds R's diagonal.
    EXPECT_EQ(A[0][0], diag[0]);
    EXPECT_EQ(A[1][1], diag[1]);
    EXPECT_DOUBLE_EQ(std::fabs(diag[0]), 2.0);  // |column of ones| = sqrt(4)
}

TEST(QR, SquareSystemIsSolvedButHasNoErrors) {
    Matrix A = from_rows({{2, 1, 0}, {1, 3, 1}, {0, 1, 4}});
    // b = A·(1, -2, 3)
    std::vector<double> b{0, -2, 10}, diag(3), x(3), err(3);
    ASSERT_FALSE(quenz::Householder_QR(3, 3, A.rows(), diag.data(), b.data(), 1e-10));
    quenz::Backsubst_R(3, A.rows(), diag.data(), b.data(), x.data());
    EXPECT_NEAR(x[0], 1.0, 1e-13);
    EXPECT_NEAR(x[1], -2.0, 1e-13);
    EXPECT_NEAR(x[2], 3.0, 1e-13);
    EXPECT_EQ(thrown_text([&] { quenz::Param_errors(3, 3, A.rows(), diag.data(), b.data(), err.data()); }),
              "Error: Parameter errors only für num_data < num_data");
}

TEST(QR, FewerRowsThanColumnsIsRefusedBeforeAnyChange) {
    Matrix A = from_rows({{1, 2, 3}, {4, 5, 6}});
    std::vector<double> b{7, 8}, diag(3, 9.0);
    EXPECT_EQ(thrown_text([&] { quenz::Householder_QR(2, 3, A.rows(), diag.data(), b.data(), 1e-10); }),
              "Matrix darf nicht weniger Zeilen als Spalten haben !");
    EXPECT_EQ(A[0][0], 1);
    EXPECT_EQ(A[1][2], 6);
    EXPECT_EQ(b[0], 7);
    EXPECT_EQ(diag[0], 9.0);
}

TEST(QR, RankTestIsRelativeToThePreviousDiagonal) {
    // Second column = first column: rank-deficient.
    Matrix A = from_rows({{1, 1}, {2, 2}, {3, 3}});
    std::vector<double> b{1, 2, 3}, diag(2);
    EXPECT_TRUE(quenz::Householder_QR(3, 2, A.rows(), diag.data(), b.data(), 1e-10));

    // An independent second column of scale s against a first of norm 2:
    // rejected when s is well below eps·2, accepted when well above.
    auto deficient = [](double s) {
        Matrix B = from_rows({{1, 0}, {1, s}, {1, 0}, {1, -s}});
        std::vector<double> c{0, 0, 0, 0}, d(2);
        return quenz::Householder_QR(4, 2, B.rows(), d.data(), c.data(), 1e-10);
    };
    EXPECT_TRUE(deficient(1e-12));
    EXPECT_FALSE(deficient(1e-9));
    // A zero first column is never rejected; a zero later column is.
    Matrix Z = from_rows({{1, 0}, {1, 0}, {1, 0}});
    std::vector<double> z{1, 1, 1}, dz(2);
    EXPECT_TRUE(quenz::Householder_QR(3, 2, Z.rows(), dz.data(), z.data(), 1e-10));
    EXPECT_EQ(dz[1], 0.0);
}

TEST(QR, NegligibleDiagonalElementIsReported) {
    Matrix A = from_rows({{0, 1}, {3, 0}, {4, 1}});
    std::vector<double> b{1, 2, 3}, diag(2);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(quenz::Householder_QR(3, 2, A.rows(), diag.data(), b.data(), 1e-10));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Diagonal-elem. 0 = 0\n");
    EXPECT_EQ(diag[0], -5.0);
    EXPECT_EQ(A[0][0], 5.0);

    // With a log the line goes there instead.
    Matrix B = from_rows({{0, 1}, {3, 0}, {4, 1}});
    std::string log = "x";
    testing::internal::CaptureStderr();
    quenz::Householder_QR(3, 2, B.rows(), diag.data(), b.data(), 1e-10, &log);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(log, "xDiagonal-elem. 0 = 0\n");
}

TEST(QR, SingularRIsRefusedByTheInversion) {
    Matrix R = from_rows({{1, 2}, {0, 0}}), K(2, 2);
    EXPECT_EQ(thrown_text([&] { quenz::Invert_RtR(R.rows(), K.rows(), 2); }),
              "Singular matrix in Invert_RtR");
}

TEST(QR, InverseOfRtRLowerTriangle) {
    Matrix R = from_rows({{2, -1, 0.5}, {0, 3, 1}, {0, 0, -4}}), K(3, 3);
    K[0][1] = K[0][2] = K[1][2] = 42;  // above the diagonal: left alone
    quenz::Invert_RtR(R.rows(), K.rows(), 3);
    EXPECT_EQ(K[0][1], 42);
    EXPECT_EQ(K[1][2], 42);
    // Symmetric K times RᵀR is the identity.
    double G[3][3], S[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            G[i][j] = 0;
            for (int k = 0; k < 3; ++k) G[i][j] += R[k][i] * R[k][j];
            S[i][j] = i >= j ? K[i][j] : K[j][i];
        }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double p = 0;
            for (int k = 0; k < 3; ++k) p += S[i][k] * G[k][j];
            EXPECT_NEAR(p, i == j ? 1.0 : 0.0, 1e-13) << i << "," << j;
        }
}

TEST(QR, NoisyFitsAgreeWithTheNormalEquations) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int trial = 0; trial < 20; ++trial) {
        int m = 6 + trial, n = 1 + trial % 5;
        Matrix A(m, n), A0(m, n);
        std::vector<double> b(m), diag(n), x(n), err(n);
        for (int r = 0; r < m; ++r) {
            for (int c = 0; c < n; ++c) A0[r][c] = A[r][c] = u(rng);
            b[r] = u(rng);
        }
        NormalEquations ref(A0, b);
        ASSERT_FALSE(quenz::Householder_QR(m, n, A.rows(), diag.data(), b.data(), 1e-10));
        quenz::Backsubst_R(n, A.rows(), diag.data(), b.data(), x.data());
        quenz::Param_errors(n, m, A.rows(), diag.data(), b.data(), err.data());
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(x[i], double(ref.x[i]), 1e-10 * (1 + std::fabs(double(ref.x[i]))));
            EXPECT_NEAR(err[i], double(ref.err[i]), 1e-10 * double(ref.err[i]));
        }
    }
}
