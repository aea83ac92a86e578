// Dimension-reduction reference files: round trips, the on-disk layout as
// h5py reads it, the messages for damaged and crafted files (made from
// saved ones by dimred_oracle.py craft), atomic saving and the process-wide
// HDF5 lock.

#include "DimRedTestData.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedReference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <tuple>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

DimRedReference pcaReference() {
    const DimRedMatrix m = gaussianMatrix(300, 4, 17);
    DimRedReference ref;
    ref.model = fitPca(m, names(4));
    std::vector<double> x, y;
    projectOnto(ref.model, m, x, y);
    ref.cluster = buildClusterModel(x, y, 0.8, 5);
    ref.created = "2024-05-01T12:00:00Z";
    ref.app_version = "3.3.99";
    ref.fit_datasets = "A, B";
    ref.present = true;
    return ref;
}

// Made up but consistent: `events` training rows of 3 features.
DimRedReference umapReference(size_t events) {
    DimRedReference ref;
    ref.kind = 1;
    ref.model.features = names(3);
    ref.model.centre.assign(3, 0.5);
    ref.model.scale.assign(3, 2.0);
    ref.model.degenerate = {"f1"};
    ref.model.nTrain = events;
    ref.model.valid = true;
    UmapModel& u = ref.umap;
    u.trainData = gaussianMatrix(events, 3, 23).data;
    std::vector<double> x, y;
    for (size_t i = 0; i < events; ++i) {
        x.push_back(std::sin(static_cast<double>(2 * i)));
        y.push_back(std::sin(static_cast<double>(2 * i + 1)));
        u.embedding.insert(u.embedding.end(), {x.back(), y.back()});
    }
    u.nTrain = events;
    u.nFeatures = 3;
    u.params.n_epochs = 200;
    u.params.seed = 0xFFFFFFFFFFFFFFFFull; // kept through a signed attribute
    u.a = 1.5;
    u.b = 0.9;
    u.initUsed = 0;
    u.valid = true;
    ref.cluster = buildClusterModel(x, y, 1.5, 3);
    ref.created = "2024-05-02T08:30:00Z";
    ref.present = true;
    return ref;
}

auto paramsOf(const UmapModel& u) {
    const UmapParams& p = u.params;
    return std::make_tuple(p.n_neighbors, p.min_dist, p.spread, p.n_epochs, p.learning_rate,
                           p.repulsion_strength, p.negative_sample_rate, p.seed, u.a, u.b,
                           u.initUsed, u.nTrain, u.nFeatures, u.valid);
}

class ReferenceFile : public ::testing::Test {
protected:
    std::string save(const DimRedReference& ref, const std::string& name = "ref.qv3dr") {
        std::string error;
        EXPECT_TRUE(saveDimRedReference(m_dir.file(name), ref, error)) << error;
        return m_dir.file(name);
    }

    DimRedReference load(const std::string& path, std::string* error = nullptr) {
        DimRedReference ref;
        std::string message;
        const bool loaded = loadDimRedReference(path, ref, message);
        EXPECT_EQ(loaded, error == nullptr) << path << ": " << message;
        EXPECT_EQ(ref.present, loaded);
        if (error)
            *error = message;
        return ref;
    }

    std::string refusal(const std::string& path) {
        std::string error;
        load(path, &error);
        return error;
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> found;
        DIR* d = ::opendir(m_dir.path().c_str());
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                found.push_back(e->d_name);
        ::closedir(d);
        std::sort(found.begin(), found.end());
        return found;
    }

    TempDir m_dir;
};

} // namespace

TEST_F(ReferenceFile, RoundTripsKeepEveryBit) {
    const DimRedReference pca = pcaReference(), umap = umapReference(60);
    ASSERT_TRUE(pca.cluster.valid && umap.cluster.valid);
    for (const DimRedReference* ref : {&pca, &umap}) {
        const DimRedReference back = load(save(*ref));
        const DimRedModel &m = back.model, &r = ref->model;
        EXPECT_EQ(back.kind, ref->kind);
        EXPECT_TRUE(m.valid);
        EXPECT_EQ(m.features, r.features);
        EXPECT_EQ(m.centre, r.centre);
        EXPECT_EQ(m.scale, r.scale);
        EXPECT_EQ(m.degenerate, r.degenerate);
        EXPECT_EQ(m.nTrain, r.nTrain);
        EXPECT_EQ(m.loading1, r.loading1);
        EXPECT_EQ(m.loading2, r.loading2);
        EXPECT_EQ(std::make_pair(m.explained1, m.explained2),
                  std::make_pair(r.explained1, r.explained2));
        EXPECT_EQ(back.created + "|" + back.app_version + "|" + back.fit_datasets,
                  ref->created + "|" + ref->app_version + "|" + ref->fit_datasets);
        EXPECT_EQ(back.umap.trainData, ref->umap.trainData);
        EXPECT_EQ(back.umap.embedding, ref->umap.embedding);
        EXPECT_EQ(paramsOf(back.umap), paramsOf(ref->umap));
        const DimRedClusterModel &c = back.cluster, &d = ref->cluster;
        EXPECT_TRUE(c.valid && c.points == d.points && c.labels == d.labels);
        EXPECT_EQ(std::make_tuple(c.clusterCount, c.eps, c.minPts),
                  std::make_tuple(d.clusterCount, d.eps, d.minPts));
    }
    EXPECT_EQ(describeDimRedReference(pca),
              "PCA, 4 features, fitted on 300 events from A, B (2024-05-01T12:00:00Z)");
    DimRedReference bare = umap;
    bare.model.nTrain = 0;
    bare.created.clear();
    EXPECT_EQ(describeDimRedReference(bare), "UMAP, 3 features");
    EXPECT_EQ(describeDimRedReference(DimRedReference()), "No reference loaded.");
}

TEST_F(ReferenceFile, LayoutAsH5pyReadsIt) {
    // From 4096 values on, chunks of [min(rows, 4096), cols] deflated at level 4.
    const std::pair<size_t, const char*> cases[] = {
        {1000, "DATASET train_data <f8 shape 1000 3 chunks compression none 0"},
        {2048, "DATASET train_embed <f8 shape 2048 2 chunks 2048 2 compression gzip 4"},
        {5000, "DATASET train_data <f8 shape 5000 3 chunks 4096 3 compression gzip 4"},
    };
    for (const auto& [events, expected] : cases) {
        const std::string layout = runOracleText("layout", save(umapReference(events)));
        for (const std::string entry :
             {expected, "DATASET features str shape 3 chunks compression none 0",
              "DATASET centre <f8 shape 3 chunks compression none 0",
              "DATASET degenerate_features str shape 1 chunks compression none 0",
              "ATTR format_version <i8 ()", "ATTR umap_seed <i8 ()", "ATTR umap_n_neighbors <i8 ()",
              "ATTR umap_a <f8 ()", "ATTR kind str ()", "ATTR umap_init_used str ()",
              "ATTR cluster_count <i8 ()", "ATTR cluster_eps <f8 ()"})
            EXPECT_NE(layout.find(entry + "\n"), std::string::npos) << entry << "\n" << layout;
    }
    const std::string pca = runOracleText("layout", save(pcaReference()));
    EXPECT_NE(pca.find("DATASET loadings <f8 shape 2 4 chunks compression none 0\n"),
              std::string::npos);
    EXPECT_NE(pca.find("ATTR explained_1 <f8 ()\n"), std::string::npos);
    EXPECT_EQ(pca.find("train_data"), std::string::npos);
}

TEST_F(ReferenceFile, DamagedAndCraftedFilesGiveTheirMessages) {
    Quorvex3::testing::writeBytes(m_dir.file("notes.qv3dr"), "just some text\n");
    EXPECT_EQ(refusal(m_dir.file("notes.qv3dr")), "not a Quorvex3 reference file");
    EXPECT_EQ(refusal(m_dir.file("missing.qv3dr")), "the file cannot be opened");

    // Base 'P' is a PCA reference of 4 features, 'U' a UMAP one of 60 x 3.
    const DimRedReference pca = pcaReference();
    const std::string m = std::to_string(pca.cluster.labels.size());
    const std::string range = "the reference's UMAP parameters are out of range";
    const std::string clustersDropped = ""; // loads, without its clusters
    std::vector<std::tuple<char, std::string, std::string>> cases = {
        {'P', "@format_version=i8:2",
         "the file was written by a newer version of Quorvex3 (format 2)"},
        {'P', "-format_version", "not a Quorvex3 dimension-reduction reference"},
        {'P', "@kind=str:tsne", "unknown projection kind 'tsne'"},
        {'P', "@kind=str:PCA", "unknown projection kind 'PCA'"},
        {'P', "features=str[1]:x", "the reference lists fewer than two input features"},
        {'P', "features=f8[4]:1", "dataset 'features' is not a list of names"},
        {'P', "features=str[1099511627776]", "dataset 'features' is too large"},
        {'P', "loadings=f8[9]:0.1", "dataset 'loadings' does not have the expected size"},
        {'P', "loadings=f8[2x2x2]:0.1", "dataset 'loadings' has an unexpected rank"},
        {'P', "loadings=f8[2x4]:1,0,0,0,0,nan,0,0", "the reference's loadings are not finite"},
        {'P', "centre=f8[4]:0,inf,0,0", "the reference's centre or scale is not finite"},
        {'P', "centre=str[4]:a,b,c,d", "dataset 'centre' does not hold numbers"},
        {'P', "centre=f8[1125899906842624]", "dataset 'centre' does not have the expected size"},
        {'P', "scale=f8[4]:1,1,0,1", "the reference has a non-positive scale"},
        {'P', "-scale", "the reference lacks the dataset 'scale'"},
        {'U', "train_data=f8[180]:1", "the reference's training data is malformed"},
        {'U', "train_data=f8[45x4]:1",
         "the reference's training data does not match its feature list"},
        {'U', "-train_data", "the reference lacks the dataset 'train_data'"},
        {'U', "train_data=f8[0x3]:", "the reference carries no training events"},
        {'U', "train_data=f8[1099511627776x3]", "dataset 'train_data' is too large"},
        {'U', "train_data=f8[4611686018427387904x3]",
         "dataset 'train_data' is too large"}, // overflows
        {'U', "train_embed=f8[60x3]:1", "dataset 'train_embed' does not have the expected size"},
        {'U', "train_embed=f8[1099511627776x2]",
         "dataset 'train_embed' does not have the expected size"},
        {'U', "train_embed=f8[60x2]:nan",
         "the reference's training data or embedding is not finite"},
        {'U', "@umap_seed=f8:42", "attribute 'umap_seed' is not an integer"},
        {'U', "@format_version=str:1", "attribute 'format_version' is not an integer"},
        {'U', "@umap_a=str:1.5", "attribute 'umap_a' is not a number"},
        {'U', "@umap_b=f8:0.9,0.9", "attribute 'umap_b' is not a single value"},
        {'U', "@kind=f8:1", "attribute 'kind' is not text"},
        {'U', "@umap_n_epochs=u8:9223372036854775813", "attribute 'umap_n_epochs' is out of range"},
        {'U', "@fit_event_count=i8:-1", "the reference's fit event count is out of range"},
        {'U', "-umap_spread", "the reference lacks the attribute 'umap_spread'"},
    };
    // Every UMAP parameter is range-checked (2^40 neighbours would narrow
    // to 0; 2e9 epochs would run a transform for hours).
    for (const char* edit : {"@umap_n_neighbors=i8:1099511627776", "@umap_n_neighbors=i8:1",
                             "@umap_n_epochs=i8:0", "@umap_n_epochs=i8:4294967496",
                             "@umap_n_epochs=i8:2000000000", "@umap_negative_sample_rate=i8:-1",
                             "@umap_negative_sample_rate=i8:1000000", "@umap_learning_rate=f8:nan",
                             "@umap_learning_rate=f8:0", "@umap_repulsion_strength=f8:inf",
                             "@umap_repulsion_strength=f8:-1", "@umap_min_dist=f8:nan",
                             "@umap_min_dist=f8:-0.5", "@umap_spread=f8:0", "@umap_spread=f8:inf",
                             "@umap_a=f8:0", "@umap_a=f8:inf", "@umap_b=f8:nan", "@umap_b=f8:-2"})
        cases.emplace_back('U', edit, range);
    // A damaged cluster block loads without clusters; labels must be whole
    // numbers in [0, cluster_count).
    for (const std::string edit :
         {"cluster_embed=f8[10]:1", "-cluster_embed", "-cluster_labels", "@cluster_eps=f8:0",
          "-cluster_eps", "@cluster_min_pts=i8:0", "@cluster_count=i8:1000000"})
        cases.emplace_back('P', edit, clustersDropped);
    const std::string badLabels[] = {"nan", "-1", "0.5", "1e300",
                                     std::to_string(pca.cluster.clusterCount)};
    for (const std::string& label : badLabels)
        cases.emplace_back('P', "cluster_labels=f8[" + m + "]:" + label, clustersDropped);
    // Optional parts missing, a zero minimum distance and fixed-length names load.
    cases.emplace_back(
        'U',
        "@umap_min_dist=f8:0 -umap_init_used -created -degenerate_features features=S8[3]:f0,f1,f2",
        "ok");

    const std::string bases[2] = {save(pca, "P.qv3dr"), save(umapReference(60), "U.qv3dr")};
    {
        std::ofstream edits(m_dir.file("edits.txt"));
        for (size_t i = 0; i < cases.size(); ++i)
            edits << bases[std::get<0>(cases[i]) == 'U'] << " " << m_dir.file(std::to_string(i))
                  << " " << std::get<1>(cases[i]) << "\n";
    }
    runOracleText("craft", m_dir.file("edits.txt"));
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [base, edit, message] = cases[i];
        SCOPED_TRACE(edit);
        if (message == "ok" || message == clustersDropped) {
            const DimRedReference ref = load(m_dir.file(std::to_string(i)));
            EXPECT_EQ(ref.cluster.valid, message == "ok");
            EXPECT_EQ(ref.cluster.labels.empty(), message != "ok");
            EXPECT_EQ(ref.model.loading1, base == 'P' ? pca.model.loading1 : std::vector<double>());
            if (message == "ok") {
                EXPECT_EQ(ref.umap.params.min_dist, 0.0);
                EXPECT_EQ(ref.umap.initUsed, 1); // missing: random
                EXPECT_TRUE(ref.created.empty() && ref.model.degenerate.empty());
                EXPECT_EQ(ref.model.features, names(3));
            }
        } else {
            EXPECT_EQ(refusal(m_dir.file(std::to_string(i))), message);
        }
    }
}

TEST_F(ReferenceFile, SavingIsAtomicAndRefusesWhatCannotBeWritten) {
    std::string error;
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), DimRedReference(), error));
    EXPECT_EQ(error, "there is no fitted projection to save");
    DimRedReference umap = umapReference(30);
    umap.umap.valid = false;
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), umap, error));
    EXPECT_EQ(error, "the UMAP model is not fitted");
    umap.umap.valid = true;
    umap.umap.embedding.pop_back();
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), umap, error));
    EXPECT_EQ(error, "the projection's data do not match its feature list");
    EXPECT_TRUE(entries().empty());

    // A new file takes the old one's place (not rewritten in place), with
    // the old one's permissions.
    const std::string path = save(pcaReference());
    ::chmod(path.c_str(), 0640);
    struct stat before {
    }, after{};
    ::stat(path.c_str(), &before);
    save(umapReference(60));
    ::stat(path.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_EQ(load(path).kind, 1);
    // A failing save leaves the existing file and no stray one: a folder
    // in the way, a missing folder.
    ::mkdir(m_dir.file("folder.qv3dr").c_str(), 0755);
    Quorvex3::testing::writeBytes(m_dir.file("folder.qv3dr") + "/inside", "x");
    EXPECT_FALSE(saveDimRedReference(m_dir.file("folder.qv3dr"), pcaReference(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder.qv3dr", "ref.qv3dr"}));
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
    EXPECT_EQ(load(m_dir.file("second.qv3dr")).model.loading1, pcaReference().model.loading1);
}
