// kelvra graph fiedler and kelvra graph eig, run as a user runs them.
#include <gtest/gtest.h>

#ifdef KELVRA_TEST_TOOL

#include <cstring>
#include <fstream>
#include <string>

#include "platform/temp_dir.hpp"
#include "tools/run_tool.hpp"

namespace {

using kelvra_test::contains;
using kelvra_test::kelvra;
using kelvra_test::TempDir;
using kelvra_test::ToolRun;

// Two triangles joined by one weak edge, as 16-byte edge records.
void write_two_triangles(const std::string &path) {
    const uint32_t edges[][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {2, 3}};
    std::ofstream out(path, std::ios::binary);
    for (const auto &e : edges) {
        const double w = e[0] == 2 && e[1] == 3 ? 0.1 : 1.0;
        out.write(reinterpret_cast<const char *>(e), 8).write(reinterpret_cast<const char *>(&w), 8);
    }
}

TEST(GraphCli, FiedlerSplitsTheTrianglesAndEigFindsTheEigenvalues) {
    TempDir dir;
    write_two_triangles(dir.path("edges.bin"));
    const ToolRun fiedler = kelvra("graph fiedler " + dir.path("edges.bin") + " -n 6 -o " + dir.path("v.txt"));
    EXPECT_EQ(fiedler.exit_code, 0) << fiedler.out;
    EXPECT_TRUE(contains(fiedler.out, "6 vertices, 7 edges, ")) << fiedler.out;
    EXPECT_TRUE(contains(fiedler.out, "split 3 >= 0, 3 < 0")) << fiedler.out;
    std::ifstream values(dir.path("v.txt"));
    double v[6];
    for (double &x : v) values >> x;
    EXPECT_TRUE(v[0] > 0 && v[1] > 0 && v[2] > 0 && v[3] < 0 && v[4] < 0 && v[5] < 0);
    EXPECT_EQ(kelvra("graph fiedler " + dir.path("edges.bin")).exit_code, 2) << "-n is required";
    EXPECT_EQ(kelvra("graph fiedler " + dir.path("edges.bin") + " -n 3").exit_code, 1) << "vertex 5 is out of range";

    std::ofstream(dir.path("m.txt")) << "2\n2 0 0 1\n0 -1 2 0\n"; // [[2, i], [-i, 2]]
    const ToolRun eig = kelvra("graph eig " + dir.path("m.txt"));
    EXPECT_EQ(eig.exit_code, 0) << eig.out;
    double low = 0, high = 0;
    ASSERT_EQ(std::sscanf(eig.out.c_str(), "%lf %lf", &low, &high), 2) << eig.out;
    EXPECT_NEAR(low, 1.0, 1e-12);
    EXPECT_NEAR(high, 3.0, 1e-12);
    std::ofstream(dir.path("bad.txt")) << "2\n1 2 3\n";
    EXPECT_EQ(kelvra("graph eig " + dir.path("bad.txt")).exit_code, 1); // a data error
}

} // namespace

#endif
