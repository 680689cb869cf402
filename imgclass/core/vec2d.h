// A plane vector of two doubles for script-side geometry.
#pragma once

class vec2d {
public:
    double x;
    double y;

    vec2d(double x_, double y_) : x(x_), y(y_) {}

    vec2d operator-(const vec2d& subtr) const;
    vec2d operator+(const vec2d& summand) const;
    vec2d& operator/=(double div);
    double operator*(const vec2d& v2) const;  // dot product
    vec2d operator*(double s) const;
    vec2d operator/(double s) const;
};

// Euclidean length.
double abs(const vec2d& v);
