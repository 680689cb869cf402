#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "testutil.h"
#include "imgclass/system/error.h"
#include "imgclass/fit/qr.h"

using quenz::Matrix;

using testutil::error_of;

namespace {

Matrix from_rows(std::vector<std::vector<double>> v) {
    Matrix m(int(v.size()), int(v[0].size()));
    for (int r = 0; r < m.nrows(); ++r)
        for (int c = 0; c < m.ncols(); ++c) m[r][c] = v[r][c];
    return m;
}

}  // namespace

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

TEST(QR, SquareAndShortSystems) {
    // m = n: solved exactly, but no errors without residual degrees of freedom.
    Matrix A = from_rows({{2, 1, 0}, {1, 3, 1}, {0, 1, 4}});
    std::vector<double> b{0, -2, 10}, diag(3), x(3), err(3);  // b = A·(1, -2, 3)
    ASSERT_FALSE(quenz::Householder_QR(3, 3, A.rows(), diag.data(), b.data(), 1e-10));
    quenz::Backsubst_R(3, A.rows(), diag.data(), b.data(), x.data());
    EXPECT_NEAR(x[0], 1.0, 1e-13);
    EXPECT_NEAR(x[1], -2.0, 1e-13);
    EXPECT_NEAR(x[2], 3.0, 1e-13);
    EXPECT_EQ(error_of<quenz::InternalError>([&] { quenz::Param_errors(3, 3, A.rows(), diag.data(), b.data(), err.data()); }),
              "Error: Parameter errors only für num_data < num_data");
    // m < n: refused before anything changes.
    Matrix S = from_rows({{1, 2, 3}, {4, 5, 6}});
    std::vector<double> c{7, 8}, d(3, 9.0);
    EXPECT_EQ(error_of<quenz::InternalError>([&] { quenz::Householder_QR(2, 3, S.rows(), d.data(), c.data(), 1e-10); }),
              "Matrix darf nicht weniger Zeilen als Spalten haben !");
    EXPECT_EQ(S[0][0], 1);
    EXPECT_EQ(c[0], 7);
    EXPECT_EQ(d[0], 9.0);
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
    EXPECT_EQ(error_of<quenz::InternalError>([&] { quenz::Invert_RtR(R.rows(), K.rows(), 2); }),
              "Singular matrix in Invert_RtR");
}
