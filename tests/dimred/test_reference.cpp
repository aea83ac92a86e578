// Dimension-reduction reference files: round trips, the on-disk layout as
// h5py reads it (dimred_oracle.py layout), the messages for damaged and
// crafted files, atomic saving and the process-wide HDF5 lock.

#include "ReferenceTestSupport.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <dirent.h>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <thread>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class ReferenceFile : public ::testing::Test {
protected:
    std::string save(const DimRedReference& ref, const std::string& name = "ref.qv3dr") {
        const std::string path = m_dir.file(name);
        std::string error;
        EXPECT_TRUE(saveDimRedReference(path, ref, error)) << error;
        EXPECT_TRUE(error.empty());
        return path;
    }

    // Loading must fail with exactly this message.
    void expectRefused(const std::string& path, const std::string& message) {
        DimRedReference ref;
        std::string error;
        EXPECT_FALSE(loadDimRedReference(path, ref, error));
        EXPECT_EQ(error, message);
        EXPECT_FALSE(ref.present);
    }

    DimRedReference load(const std::string& path) {
        DimRedReference ref;
        std::string error;
        EXPECT_TRUE(loadDimRedReference(path, ref, error)) << error;
        return ref;
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* d = ::opendir(m_dir.path().c_str());
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.' || e->d_name[1] > '.')
                names.push_back(e->d_name);
        ::closedir(d);
        return names;
    }

    TempDir m_dir;
};

void expectSameCluster(const DimRedClusterModel& a, const DimRedClusterModel& b) {
    EXPECT_EQ(a.valid, b.valid);
    EXPECT_EQ(a.points, b.points);
    EXPECT_EQ(a.labels, b.labels);
    EXPECT_EQ(a.clusterCount, b.clusterCount);
    EXPECT_EQ(a.eps, b.eps);
    EXPECT_EQ(a.minPts, b.minPts);
}

} // namespace

// ---- round trips and layout ------------------------------------------------------

TEST_F(ReferenceFile, PcaRoundTrip) {
    const DimRedReference ref = pcaReference();
    ASSERT_TRUE(ref.cluster.valid);
    const DimRedReference back = load(save(ref));
    EXPECT_TRUE(back.present);
    EXPECT_EQ(back.kind, 0);
    EXPECT_TRUE(back.model.valid);
    EXPECT_EQ(back.model.features, ref.model.features);
    EXPECT_EQ(back.model.centre, ref.model.centre);
    EXPECT_EQ(back.model.scale, ref.model.scale);
    EXPECT_EQ(back.model.loading1, ref.model.loading1);
    EXPECT_EQ(back.model.loading2, ref.model.loading2);
    EXPECT_EQ(back.model.explained1, ref.model.explained1);
    EXPECT_EQ(back.model.nTrain, 300u);
    EXPECT_EQ(back.created, ref.created);
    EXPECT_EQ(back.app_version, "3.3.99");
    EXPECT_EQ(back.fit_datasets, "A, B");
    expectSameCluster(back.cluster, ref.cluster);
}

TEST_F(ReferenceFile, UmapRoundTripKeepsEveryBitAndReadsSpectralBack) {
    DimRedReference ref = umapReference(60, 3, true);
    ASSERT_TRUE(ref.umap.valid);
    ASSERT_TRUE(ref.cluster.valid);
    ASSERT_EQ(ref.umap.params.init, 1);
    const DimRedReference back = load(save(ref));
    EXPECT_EQ(back.kind, 1);
    const UmapModel& u = back.umap;
    EXPECT_TRUE(u.valid);
    EXPECT_EQ(u.trainData, ref.umap.trainData);
    EXPECT_EQ(u.embedding, ref.umap.embedding);
    EXPECT_EQ(u.nTrain, 60u);
    EXPECT_EQ(u.nFeatures, 3u);
    EXPECT_EQ(u.a, ref.umap.a);
    EXPECT_EQ(u.b, ref.umap.b);
    EXPECT_EQ(u.initUsed, 1);
    EXPECT_EQ(u.params.n_epochs, 20);
    EXPECT_EQ(u.params.n_neighbors, 15);
    EXPECT_EQ(u.params.seed, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(u.params.init, 0); // the requested start is not stored
    EXPECT_EQ(back.model.degenerate, (std::vector<std::string>{"f1"}));
    expectSameCluster(back.cluster, ref.cluster);
}

TEST_F(ReferenceFile, LayoutAsH5pyReadsIt) {
    // 1000 events x 3 features: small enough to stay contiguous; 2048 and
    // 10000 events: chunked [min(rows, 4096), cols] and deflated at level 4.
    struct Case {
        size_t events;
        std::string data;
        std::string embed;
    } cases[] = {
        {1000, "train_data <f8 shape 1000 3 chunks compression none 0",
         "train_embed <f8 shape 1000 2 chunks compression none 0"},
        {2048, "train_data <f8 shape 2048 3 chunks 2048 3 compression gzip 4",
         "train_embed <f8 shape 2048 2 chunks 2048 2 compression gzip 4"},
        {10000, "train_data <f8 shape 10000 3 chunks 4096 3 compression gzip 4",
         "train_embed <f8 shape 10000 2 chunks 4096 2 compression gzip 4"},
    };
    for (const Case& c : cases) {
        const std::string path =
            save(umapReference(c.events, 3, false), std::to_string(c.events) + ".qv3dr");
        const std::string layout = runOracleText("layout", path);
        EXPECT_NE(layout.find("DATASET " + c.data + "\n"), std::string::npos) << layout;
        EXPECT_NE(layout.find("DATASET " + c.embed + "\n"), std::string::npos) << layout;
        EXPECT_NE(layout.find("DATASET features str shape 3 chunks compression none 0\n"),
                  std::string::npos);
        EXPECT_NE(layout.find("DATASET centre <f8 shape 3 chunks compression none 0\n"),
                  std::string::npos);
        EXPECT_NE(layout.find("DATASET degenerate_features str shape 1 chunks"), std::string::npos);
        EXPECT_NE(layout.find("DATASET cluster_labels <f8 shape"), std::string::npos);
        for (const char* attr :
             {"format_version <i8", "fit_event_count <i8", "umap_seed <i8", "umap_n_neighbors <i8",
              "umap_a <f8", "umap_min_dist <f8", "kind str", "created str", "umap_init_used str",
              "cluster_count <i8", "cluster_eps <f8", "cluster_min_pts <i8"})
            EXPECT_NE(layout.find(std::string("ATTR ") + attr + " ()\n"), std::string::npos)
                << attr;
    }
    const std::string pca = runOracleText("layout", save(pcaReference(), "pca.qv3dr"));
    EXPECT_NE(pca.find("DATASET loadings <f8 shape 2 4 chunks compression none 0\n"),
              std::string::npos);
    EXPECT_NE(pca.find("ATTR explained_1 <f8 ()\n"), std::string::npos);
    EXPECT_EQ(pca.find("train_data"), std::string::npos);
}

TEST_F(ReferenceFile, DescribeReadsLikeTheInformationLine) {
    DimRedReference ref = pcaReference(4, 1200);
    EXPECT_EQ(describeDimRedReference(ref),
              "PCA, 4 features, fitted on 1200 events from A, B (2024-05-01T12:00:00Z)");
    ref.kind = 1;
    ref.model.nTrain = 0;
    ref.fit_datasets.clear();
    ref.created.clear();
    EXPECT_EQ(describeDimRedReference(ref), "UMAP, 4 features");
    EXPECT_EQ(describeDimRedReference(DimRedReference()), "No reference loaded.");
}

// ---- damaged files: the messages of the format -----------------------------------

TEST_F(ReferenceFile, ForeignAndDamagedFilesGiveTheirMessages) {
    const std::string text = m_dir.file("notes.qv3dr");
    Quorvex3::testing::writeBytes(text, "just some text\n");
    expectRefused(text, "not a Quorvex3 reference file");
    expectRefused(m_dir.file("missing.qv3dr"), "the file cannot be opened");

    struct Edit {
        const char* what;
        std::function<void(ReferenceEditor&)> edit;
        std::string message;
    };
    const std::vector<Edit> pcaEdits = {
        {"newer format", [](ReferenceEditor& e) { e.setInt64("format_version", 2); },
         "the file was written by a newer version of Quorvex3 (format 2)"},
        {"no version", [](ReferenceEditor& e) { e.removeAttribute("format_version"); },
         "not a Quorvex3 dimension-reduction reference"},
        {"unknown kind", [](ReferenceEditor& e) { e.setString("kind", "tsne"); },
         "unknown projection kind 'tsne'"},
        {"kind case", [](ReferenceEditor& e) { e.setString("kind", "PCA"); },
         "unknown projection kind 'PCA'"},
        {"one feature", [](ReferenceEditor& e) { e.setStrings("features", {"x"}); },
         "the reference lists fewer than two input features"},
        {"loadings size",
         [](ReferenceEditor& e) { e.setDoubles("loadings", {9}, std::vector<double>(9, 0.1)); },
         "dataset 'loadings' does not have the expected size"},
        {"loadings rank",
         [](ReferenceEditor& e) {
             e.setDoubles("loadings", {2, 2, 2}, std::vector<double>(8, 0.1));
         },
         "dataset 'loadings' has an unexpected rank"},
        {"loadings nan",
         [](ReferenceEditor& e) {
             e.setDoubles("loadings", {2, 4}, {1, 0, 0, 0, 0, kNaN, 0, 0});
         },
         "the reference's loadings are not finite"},
        {"centre nan",
         [](ReferenceEditor& e) {
             e.setDoubles("centre", {4}, {0, kInf, 0, 0});
         },
         "the reference's centre or scale is not finite"},
        {"scale zero",
         [](ReferenceEditor& e) {
             e.setDoubles("scale", {4}, {1, 1, 0, 1});
         },
         "the reference has a non-positive scale"},
        {"no scale", [](ReferenceEditor& e) { e.removeDataset("scale"); },
         "the reference lacks the dataset 'scale'"},
        {"no loadings", [](ReferenceEditor& e) { e.removeDataset("loadings"); },
         "the reference lacks the dataset 'loadings'"},
    };
    for (const Edit& e : pcaEdits) {
        const std::string path = save(pcaReference(), std::string(e.what) + ".qv3dr");
        {
            ReferenceEditor editor(path);
            e.edit(editor);
        }
        expectRefused(path, e.message);
    }
    const std::vector<Edit> umapEdits = {
        {"curve a", [](ReferenceEditor& e) { e.setDouble("umap_a", 0.0); },
         "the reference's UMAP parameters are out of range"},
        {"data rank",
         [](ReferenceEditor& e) { e.setDoubles("train_data", {180}, std::vector<double>(180, 1)); },
         "the reference's training data is malformed"},
        {"data width",
         [](ReferenceEditor& e) {
             e.setDoubles("train_data", {45, 4}, std::vector<double>(180, 1));
         },
         "the reference's training data does not match its feature list"},
        {"no data", [](ReferenceEditor& e) { e.removeDataset("train_data"); },
         "the reference lacks the dataset 'train_data'"},
        {"no events",
         [](ReferenceEditor& e) {
             e.setDoubles("train_data", {0, 3}, {});
         },
         "the reference carries no training events"},
        {"embed size",
         [](ReferenceEditor& e) {
             e.setDoubles("train_embed", {60, 3}, std::vector<double>(180, 1));
         },
         "dataset 'train_embed' does not have the expected size"},
        {"embed nan",
         [](ReferenceEditor& e) {
             std::vector<double> v(120, 1.0);
             v[77] = kNaN;
             e.setDoubles("train_embed", {60, 2}, v);
         },
         "the reference's training data or embedding is not finite"},
    };
    for (const Edit& e : umapEdits) {
        const std::string path = save(umapReference(60, 3, false), std::string(e.what) + ".qv3dr");
        {
            ReferenceEditor editor(path);
            e.edit(editor);
        }
        expectRefused(path, e.message);
    }
}

TEST_F(ReferenceFile, ZeroMinimumDistanceAndMissingOptionalPartsLoad) {
    const std::string path = save(umapReference(60, 3, false));
    {
        ReferenceEditor e(path);
        e.setDouble("umap_min_dist", 0.0);
        e.removeAttribute("umap_init_used");
        e.removeAttribute("created");
        e.removeDataset("degenerate_features");
        e.setFixedStrings("features", {"f0", "f1", "f2"}, 8); // as other tools write them
    }
    const DimRedReference ref = load(path);
    EXPECT_EQ(ref.umap.params.min_dist, 0.0);
    EXPECT_EQ(ref.umap.initUsed, 1); // missing: random
    EXPECT_TRUE(ref.created.empty());
    EXPECT_TRUE(ref.model.degenerate.empty());
    EXPECT_EQ(ref.model.features, (std::vector<std::string>{"f0", "f1", "f2"}));
}

TEST_F(ReferenceFile, DamagedClusterBlockLoadsWithoutClusters) {
    const std::vector<std::function<void(ReferenceEditor&)>> damage = {
        [](ReferenceEditor& e) { e.setDoubles("cluster_embed", {10}, std::vector<double>(10, 1)); },
        [](ReferenceEditor& e) { e.removeDataset("cluster_embed"); },
        [](ReferenceEditor& e) { e.removeDataset("cluster_labels"); },
        [](ReferenceEditor& e) { e.setDouble("cluster_eps", 0.0); },
        [](ReferenceEditor& e) { e.setInt64("cluster_min_pts", 0); },
        [](ReferenceEditor& e) {
            e.setInt64("cluster_count", 1000000);
        }, // more than labelled points
        [](ReferenceEditor& e) { e.removeAttribute("cluster_eps"); },
    };
    const DimRedReference good = pcaReference();
    const size_t m = good.cluster.labels.size();
    // Labels must be whole numbers in [0, cluster_count).
    std::vector<std::function<void(ReferenceEditor&)>> all = damage;
    for (const double bad :
         {kNaN, -1.0, 0.5, static_cast<double>(good.cluster.clusterCount), 1e300})
        all.push_back([bad, m](ReferenceEditor& e) {
            std::vector<double> labels(m, 0.0);
            labels[m / 2] = bad;
            e.setDoubles("cluster_labels", {m}, labels);
        });
    int index = 0;
    for (const auto& edit : all) {
        const std::string path = save(good, "c" + std::to_string(index++) + ".qv3dr");
        {
            ReferenceEditor e(path);
            edit(e);
        }
        const DimRedReference ref = load(path);
        EXPECT_TRUE(ref.present) << index;
        EXPECT_FALSE(ref.cluster.valid) << index;
        EXPECT_TRUE(ref.cluster.labels.empty()) << index;
        EXPECT_EQ(ref.model.loading1, good.model.loading1);
    }
}

// ---- crafted files: no narrowing, no unbounded allocation, no absurd runs ------------

TEST_F(ReferenceFile, OutOfRangeUmapParametersAreRefused) {
    const std::vector<std::function<void(ReferenceEditor&)>> edits = {
        [](ReferenceEditor& e) { e.setInt64("umap_n_neighbors", 1ll << 40); }, // would narrow to 0
        [](ReferenceEditor& e) { e.setInt64("umap_n_neighbors", 1); },
        [](ReferenceEditor& e) { e.setInt64("umap_n_epochs", 0); },
        [](ReferenceEditor& e) { e.setInt64("umap_n_epochs", 4294967296ll + 200); },
        [](ReferenceEditor& e) { e.setInt64("umap_n_epochs", 2000000000); }, // hours of transform
        [](ReferenceEditor& e) { e.setInt64("umap_negative_sample_rate", -1); },
        [](ReferenceEditor& e) { e.setInt64("umap_negative_sample_rate", 1000000); },
        [](ReferenceEditor& e) { e.setDouble("umap_learning_rate", kNaN); },
        [](ReferenceEditor& e) { e.setDouble("umap_learning_rate", 0.0); },
        [](ReferenceEditor& e) { e.setDouble("umap_repulsion_strength", kInf); },
        [](ReferenceEditor& e) { e.setDouble("umap_repulsion_strength", -1.0); },
        [](ReferenceEditor& e) { e.setDouble("umap_min_dist", kNaN); },
        [](ReferenceEditor& e) { e.setDouble("umap_min_dist", -0.5); },
        [](ReferenceEditor& e) { e.setDouble("umap_spread", 0.0); },
        [](ReferenceEditor& e) { e.setDouble("umap_spread", kInf); },
        [](ReferenceEditor& e) { e.setDouble("umap_a", kInf); },
        [](ReferenceEditor& e) { e.setDouble("umap_b", kNaN); },
        [](ReferenceEditor& e) { e.setDouble("umap_b", -2.0); },
    };
    int index = 0;
    for (const auto& edit : edits) {
        const std::string path =
            save(umapReference(60, 3, false), "p" + std::to_string(index++) + ".qv3dr");
        {
            ReferenceEditor e(path);
            edit(e);
        }
        SCOPED_TRACE(index);
        expectRefused(path, "the reference's UMAP parameters are out of range");
    }
}

TEST_F(ReferenceFile, WrongTypesAndShapesAreRefusedByName) {
    struct Edit {
        std::function<void(ReferenceEditor&)> edit;
        std::string message;
    };
    const std::vector<Edit> edits = {
        {[](ReferenceEditor& e) { e.setDouble("umap_seed", 42.0); },
         "attribute 'umap_seed' is not an integer"},
        {[](ReferenceEditor& e) { e.setString("format_version", "1"); },
         "attribute 'format_version' is not an integer"},
        {[](ReferenceEditor& e) { e.setString("umap_a", "1.5"); },
         "attribute 'umap_a' is not a number"},
        {[](ReferenceEditor& e) { e.setDoublePair("umap_b", 0.9, 0.9); },
         "attribute 'umap_b' is not a single value"},
        {[](ReferenceEditor& e) { e.setDouble("kind", 1.0); }, "attribute 'kind' is not text"},
        {[](ReferenceEditor& e) { e.setUInt64("umap_n_epochs", 0x8000000000000005ull); },
         "attribute 'umap_n_epochs' is out of range"},
        {[](ReferenceEditor& e) { e.setInt64("fit_event_count", -1); },
         "the reference's fit event count is out of range"},
        {[](ReferenceEditor& e) { e.removeAttribute("umap_spread"); },
         "the reference lacks the attribute 'umap_spread'"},
        {[](ReferenceEditor& e) {
             e.setDoubles("features", {3}, {1, 2, 3});
         },
         "dataset 'features' is not a list of names"},
        {[](ReferenceEditor& e) {
             e.setStrings("centre", {"a", "b", "c"});
         },
         "dataset 'centre' does not hold numbers"},
    };
    int index = 0;
    for (const Edit& edit : edits) {
        const std::string path =
            save(umapReference(60, 3, false), "t" + std::to_string(index++) + ".qv3dr");
        {
            ReferenceEditor e(path);
            edit.edit(e);
        }
        expectRefused(path, edit.message);
    }
}

TEST_F(ReferenceFile, EnormousDeclaredExtentsAreRefusedBeforeAllocating) {
    struct Edit {
        std::function<void(ReferenceEditor&)> edit;
        std::string message;
    };
    const std::vector<Edit> edits = {
        {[](ReferenceEditor& e) {
             e.setEmptyChunked("train_data", {1ull << 40, 3});
         },
         "dataset 'train_data' is too large"},
        {[](ReferenceEditor& e) {
             e.setEmptyChunked("train_data", {1ull << 62, 3});
         },
         "dataset 'train_data' is too large"}, // rows x cols overflows
        {[](ReferenceEditor& e) {
             e.setEmptyChunked("train_embed", {1ull << 40, 2});
         },
         "dataset 'train_embed' does not have the expected size"},
        {[](ReferenceEditor& e) { e.setEmptyChunked("centre", {1ull << 50}); },
         "dataset 'centre' does not have the expected size"},
    };
    int index = 0;
    for (const Edit& edit : edits) {
        const std::string path =
            save(umapReference(60, 3, false), "x" + std::to_string(index++) + ".qv3dr");
        {
            ReferenceEditor e(path);
            edit.edit(e);
        }
        expectRefused(path, edit.message);
    }
    // A feature list that claims a trillion names.
    const std::string path = save(pcaReference(), "names.qv3dr");
    {
        ReferenceEditor e(path);
        e.setEmptyChunked("features", {1ull << 40}, true);
    }
    expectRefused(path, "dataset 'features' is too large");
}

// ---- saving -------------------------------------------------------------------------

TEST_F(ReferenceFile, SaveRefusesWhatCannotBeWritten) {
    std::string error;
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), DimRedReference(), error));
    EXPECT_EQ(error, "there is no fitted projection to save");
    DimRedReference umap = umapReference(30, 3, false);
    umap.umap.valid = false;
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), umap, error));
    EXPECT_EQ(error, "the UMAP model is not fitted");
    umap.umap.valid = true;
    umap.umap.embedding.pop_back();
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), umap, error));
    EXPECT_EQ(error, "the projection's data do not match its feature list");
    EXPECT_TRUE(entries().empty());
}

TEST_F(ReferenceFile, SavingReplacesAtomicallyAndCleansUp) {
    const std::string path = save(pcaReference(3));
    ::chmod(path.c_str(), 0640);
    struct stat before {};
    ::stat(path.c_str(), &before);
    save(umapReference(60, 3, false));
    EXPECT_EQ(load(path).kind, 1);
    struct stat st {};
    ::stat(path.c_str(), &st);
    // A new file took the old one's place (it was not rewritten in place).
    EXPECT_NE(st.st_ino, before.st_ino);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the replaced file's permissions are kept
    EXPECT_EQ(entries(), (std::vector<std::string>{"ref.qv3dr"}));

    // A failing save leaves the existing file as it was and no stray file.
    std::string error;
    EXPECT_FALSE(saveDimRedReference(path, DimRedReference(), error));
    EXPECT_EQ(load(path).kind, 1);
    // The target is a folder: the finished file cannot replace it.
    ::mkdir(m_dir.file("folder.qv3dr").c_str(), 0755);
    Quorvex3::testing::writeBytes(m_dir.file("folder.qv3dr") + "/inside", "x");
    EXPECT_FALSE(saveDimRedReference(m_dir.file("folder.qv3dr"), pcaReference(), error));
    EXPECT_FALSE(error.empty());
    auto names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder.qv3dr", "ref.qv3dr"}));
    // A missing folder: nothing is created.
    EXPECT_FALSE(saveDimRedReference(m_dir.file("missing/ref.qv3dr"), pcaReference(), error));
    EXPECT_EQ(error,
              "cannot create a file in the folder of '" + m_dir.file("missing/ref.qv3dr") + "'");
}

TEST_F(ReferenceFile, SaveAndLoadWaitForTheProcessWideHdf5Lock) {
    const std::string path = save(pcaReference(), "first.qv3dr");
    std::atomic<bool> done{false};
    std::thread worker;
    {
        std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
        worker = std::thread([&] {
            DimRedReference ref;
            std::string error;
            loadDimRedReference(path, ref, error);
            saveDimRedReference(m_dir.file("second.qv3dr"), ref, error);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_FALSE(done.load());
    }
    worker.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(load(m_dir.file("second.qv3dr")).model.loading1, pcaReference().model.loading1);
}
