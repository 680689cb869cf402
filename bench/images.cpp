// Single passes over an image: the in-place operators of both image types
// and the conversions between them. Each operator is applied again and
// again to the same image, as numpy's in-place operators are in the peers;
// the operands keep the values normal (factors near 1 for float * and /).
#include "common.h"

namespace {

template <class Img, class Op>
void run(benchmark::State& st, const Img& start, Op op) {
    Img img(start);
    for (auto _ : st) {
        op(img);
        benchmark::DoNotOptimize(img.data());
        benchmark::ClobberMemory();
    }
    st.SetBytesProcessed(st.iterations() * std::int64_t(sizeof(typename Img::data_t) * Img::npixels()));
}

const bild16& A() { return bench::counts("a.his"); }
const bild16& B() { return bench::counts("b.his"); }
const bildfloat& FA() { return bench::floats("a.his"); }
const bildfloat& FB() { return bench::floats("b.his"); }

}  // namespace

#define OP16(key, body) \
    static void key(benchmark::State& st) { run(st, A(), [&](bild16& a) { body; }); } \
    QBENCH(key)
#define OPF(key, start, body) \
    static void key(benchmark::State& st) { run(st, start, [&](bildfloat& a) { body; }); } \
    QBENCH(key)

OP16(b16_assign_img, a = B());
OP16(b16_fill, a = 1234);
OP16(b16_add_img, a += B());
OP16(b16_add_val, a += 1234);
OP16(b16_sub_img, a -= B());
OP16(b16_sub_val, a -= 1234);
OP16(b16_mul_img, a *= B());
OP16(b16_mul_val, a *= 3);
OP16(b16_div_img, a /= B());
OP16(b16_div_val, a /= 3);

OPF(f_assign_img, FA(), a = FB());
OPF(f_fill, FA(), a = 0.25f);
OPF(f_add_img, FA(), a += FB());
OPF(f_add_val, FA(), a += 0.25f);
OPF(f_sub_img, FA(), a -= FB());
OPF(f_sub_val, FA(), a -= 0.25f);
OPF(f_mul_img, FA(), a *= bench::near_one());
OPF(f_mul_val, FA(), a *= 1.0000001f);
OPF(f_div_img, FA(), a /= bench::near_one());
OPF(f_div_val, FA(), a /= 1.0000001f);

static void conv_from_bild16(benchmark::State& st) {
    bildfloat f;
    const bild16& a = A();
    for (auto _ : st) {
        f.from_bild16(a);
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
}
QBENCH(conv_from_bild16);

static void conv_fromfloat(benchmark::State& st) {
    bild16 b;
    const bildfloat& f = FA();
    for (auto _ : st) {
        b.fromfloat(f);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
QBENCH(conv_fromfloat);
