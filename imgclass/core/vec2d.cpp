// Componentwise in double; division by zero follows IEEE rules.
#include "imgclass/core/vec2d.h"

#include <cmath>

vec2d vec2d::operator-(const vec2d& subtr) const { return {x - subtr.x, y - subtr.y}; }

vec2d vec2d::operator+(const vec2d& summand) const { return {x + summand.x, y + summand.y}; }

vec2d& vec2d::operator/=(double div) {
    x /= div;
    y /= div;
    return *this;
}

double vec2d::operator*(const vec2d& v2) const { return x * v2.x + y * v2.y; }

vec2d vec2d::operator*(double s) const { return {x * s, y * s}; }

vec2d vec2d::operator/(double s) const { return {x / s, y / s}; }

double abs(const vec2d& v) { return std::sqrt(v.x * v.x + v.y * v.y); }
