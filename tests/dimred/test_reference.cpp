// Dimension-reduction reference files: round trips, the on-disk layout as
// h5py reads it, the messages for damaged and crafted files (made from
// saved ones by dimred_oracle.py craft), atomic saving and the process-wide
// HDF5 lock.

#include "DimRedTestData.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedReference.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

// Fitted on `rows` rows of 3 features, the second constant (so listed as
// degenerate): a PCA reference, or a UMAP one (spectral start, 1 epoch);
// with clusters.
DimRedReference reference(int kind, size_t rows = 300) {
    DimRedMatrix m = gaussianMatrix(rows, 3, 17);
    for (size_t i = 0; i < rows; ++i)
        m.data[3 * i + 1] = 2.0;
    DimRedReference ref;
    ref.kind = kind;
    ref.model = fitPca(m, names(3));
    std::vector<double> x, y;
    projectOnto(ref.model, m, x, y);
    if (kind == 1) {
        UmapParams p;
        p.n_epochs = 1;
        p.seed = 0xFFFFFFFFFFFFFFFFull; // kept through a signed attribute
        ref.umap = umapFit(m, p, {});
        ref.model.loading1 = ref.model.loading2 = {};
        ref.model.explained1 = ref.model.explained2 = 0.0;
        for (size_t i = 0; i < rows; ++i) {
            x[i] = ref.umap.embedding[2 * i];
            y[i] = ref.umap.embedding[2 * i + 1];
        }
    }
    ref.cluster = buildClusterModel(x, y, kind == 1 ? 5.0 : 0.8, 5);
    ref.created = "2024-05-01T12:00:00Z";
    ref.app_version = "3.3.99";
    ref.fit_datasets = "A, B";
    ref.present = true;
    return ref;
}

// Everything a file keeps of a reference.
auto fieldsOf(const DimRedReference& r) {
    const DimRedModel& m = r.model;
    const UmapModel& u = r.umap;
    const UmapParams& p = u.params;
    const DimRedClusterModel& c = r.cluster;
    return std::tie(r.kind, r.present, r.created, r.app_version, r.fit_datasets, m.valid,
                    m.features, m.centre, m.scale, m.degenerate, m.nTrain, m.loading1, m.loading2,
                    m.explained1, m.explained2, u.valid, u.trainData, u.embedding, u.nTrain,
                    u.nFeatures, u.a, u.b, u.initUsed, p.n_neighbors, p.min_dist, p.spread,
                    p.n_epochs, p.learning_rate, p.repulsion_strength, p.negative_sample_rate,
                    p.seed, c.valid, c.points, c.labels, c.clusterCount, c.eps, c.minPts);
}

class ReferenceFile : public ::testing::Test {
protected:
    std::string save(const DimRedReference& ref, const std::string& name = "ref.qv3dr") {
        std::string error;
        EXPECT_TRUE(saveDimRedReference(m_dir.file(name), ref, error)) << error;
        return m_dir.file(name);
    }

    // The message of loading `path` into `ref`, "" when it loads.
    std::string loadError(const std::string& path, DimRedReference& ref) {
        std::string error;
        const bool loaded = loadDimRedReference(path, ref, error);
        EXPECT_EQ(loaded, error.empty()) << error;
        EXPECT_EQ(ref.present, error.empty());
        return error;
    }

    DimRedReference load(const std::string& path) {
        DimRedReference ref;
        EXPECT_EQ(loadError(path, ref), "");
        return ref;
    }

    size_t entries() const {
        const std::filesystem::directory_iterator all(m_dir.path());
        return static_cast<size_t>(std::distance(begin(all), end(all)));
    }

    TempDir m_dir;
};

} // namespace

TEST_F(ReferenceFile, RoundTripsKeepEveryBitInTheLayoutH5pyReads) {
    const DimRedReference pca = reference(0), umap = reference(1, 60);
    for (const DimRedReference* ref : {&pca, &umap}) {
        EXPECT_TRUE(ref->cluster.valid);
        EXPECT_EQ(fieldsOf(load(save(*ref))), fieldsOf(*ref));
    }
    EXPECT_EQ(describeDimRedReference(pca),
              "PCA, 3 features, fitted on 300 events from A, B (2024-05-01T12:00:00Z)");
    // From 4096 values on, chunks of [min(rows, 4096), cols] deflated at level 4.
    const std::pair<size_t, const char*> cases[] = {
        {1000, "DATASET train_data <f8 shape 1000 3 chunks compression none 0"},
        {2048, "DATASET train_embed <f8 shape 2048 2 chunks 2048 2 compression gzip 4"},
        {5000, "DATASET train_data <f8 shape 5000 3 chunks 4096 3 compression gzip 4"},
    };
    for (const auto& [events, expected] : cases) {
        const std::string layout = runOracleText("layout", save(reference(1, events)));
        for (const std::string entry :
             {expected, "DATASET features str shape 3 chunks compression none 0",
              "DATASET centre <f8 shape 3 chunks compression none 0",
              "DATASET degenerate_features str shape 1 chunks compression none 0",
              "ATTR format_version <i8 ()", "ATTR umap_seed <i8 ()", "ATTR umap_n_neighbors <i8 ()",
              "ATTR umap_a <f8 ()", "ATTR kind str ()", "ATTR umap_init_used str ()",
              "ATTR cluster_count <i8 ()", "ATTR cluster_eps <f8 ()"})
            EXPECT_NE(layout.find(entry + "\n"), std::string::npos) << entry << "\n" << layout;
    }
    const std::string layout = runOracleText("layout", save(reference(0)));
    EXPECT_NE(layout.find("DATASET loadings <f8 shape 2 3 chunks compression none 0\n"),
              std::string::npos);
    EXPECT_NE(layout.find("ATTR explained_1 <f8 ()\n"), std::string::npos);
}

TEST_F(ReferenceFile, DamagedAndCraftedFilesGiveTheirMessages) {
    DimRedReference ref;
    Quorvex3::testing::writeBytes(m_dir.file("notes.qv3dr"), "just some text\n");
    EXPECT_EQ(loadError(m_dir.file("notes.qv3dr"), ref), "not a Quorvex3 reference file");
    EXPECT_EQ(loadError(m_dir.file("missing.qv3dr"), ref), "the file cannot be opened");

    // Edits of UMAP parts go to a UMAP reference of 60 events, the others to
    // a PCA one.
    const DimRedReference pca = reference(0);
    const std::string m = std::to_string(pca.cluster.labels.size());
    const std::string range = "the reference's UMAP parameters are out of range";
    const std::string clustersDropped = ""; // loads, without its clusters
    std::vector<std::pair<std::string, std::string>> cases = {
        {"@format_version=i8:2", "the file was written by a newer version of Quorvex3 (format 2)"},
        {"-format_version", "not a Quorvex3 dimension-reduction reference"},
        {"@kind=str:tsne", "unknown projection kind 'tsne'"},
        {"features=str[1]:x", "the reference lists fewer than two input features"},
        {"features=f8[3]:1", "dataset 'features' is not a list of names"},
        {"features=str[1099511627776]", "dataset 'features' is too large"},
        {"loadings=f8[7]:0.1", "dataset 'loadings' does not have the expected size"},
        {"loadings=f8[2x2x2]:0.1", "dataset 'loadings' has an unexpected rank"},
        {"loadings=f8[2x3]:1,0,0,0,nan,0", "the reference's loadings are not finite"},
        {"centre=f8[3]:0,inf,0", "the reference's centre or scale is not finite"},
        {"centre=str[3]:a,b,c", "dataset 'centre' does not hold numbers"},
        {"centre=f8[1125899906842624]", "dataset 'centre' does not have the expected size"},
        {"scale=f8[3]:1,0,1", "the reference has a non-positive scale"},
        {"-scale", "the reference lacks the dataset 'scale'"},
        {"train_data=f8[180]:1", "the reference's training data is malformed"},
        {"train_data=f8[45x4]:1", "the reference's training data does not match its feature list"},
        {"-train_data", "the reference lacks the dataset 'train_data'"},
        {"train_data=f8[0x3]:", "the reference carries no training events"},
        {"train_data=f8[1099511627776x3]", "dataset 'train_data' is too large"},
        {"train_data=f8[4611686018427387904x3]", "dataset 'train_data' is too large"}, // overflows
        {"train_embed=f8[60x3]:1", "dataset 'train_embed' does not have the expected size"},
        {"train_embed=f8[1099511627776x2]",
         "dataset 'train_embed' does not have the expected size"},
        {"train_embed=f8[60x2]:nan", "the reference's training data or embedding is not finite"},
        {"@umap_seed=f8:42", "attribute 'umap_seed' is not an integer"},
        {"@format_version=str:1", "attribute 'format_version' is not an integer"},
        {"@umap_a=str:1.5", "attribute 'umap_a' is not a number"},
        {"@umap_b=f8:0.9,0.9", "attribute 'umap_b' is not a single value"},
        {"@kind=f8:1", "attribute 'kind' is not text"},
        {"@umap_n_epochs=u8:9223372036854775813", "attribute 'umap_n_epochs' is out of range"},
        {"@fit_event_count=i8:-1", "the reference's fit event count is out of range"},
        {"-umap_spread", "the reference lacks the attribute 'umap_spread'"},
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
        cases.emplace_back(edit, range);
    // A damaged cluster block loads without clusters; labels must be whole
    // numbers in [0, cluster_count).
    for (const std::string edit :
         {"cluster_embed=f8[10]:1", "-cluster_embed", "-cluster_labels", "@cluster_eps=f8:0",
          "-cluster_eps", "@cluster_min_pts=i8:0", "@cluster_count=i8:1000000"})
        cases.emplace_back(edit, clustersDropped);
    const std::string badLabels[] = {"nan", "-1", "0.5", "1e300",
                                     std::to_string(pca.cluster.clusterCount)};
    for (const std::string& label : badLabels)
        cases.emplace_back("cluster_labels=f8[" + m + "]:" + label, clustersDropped);
    // Optional parts missing, a zero minimum distance and fixed-length names load.
    cases.emplace_back("@umap_min_dist=f8:0 -umap_init_used -created -degenerate_features "
                       "features=S8[3]:f0,f1,f2",
                       "ok");

    const auto isUmap = [](const std::string& e) {
        return e.find("umap_") != std::string::npos || e.find("train_") != std::string::npos;
    };
    const std::string bases[2] = {save(pca, "P.qv3dr"), save(reference(1, 60), "U.qv3dr")};
    std::ofstream edits(m_dir.file("edits.txt"));
    for (size_t i = 0; i < cases.size(); ++i)
        edits << bases[isUmap(cases[i].first)] << " " << m_dir.file(std::to_string(i)) << " "
              << cases[i].first << "\n";
    edits.close();
    runOracleText("craft", m_dir.file("edits.txt"));
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [edit, message] = cases[i];
        SCOPED_TRACE(edit);
        ref = DimRedReference();
        EXPECT_EQ(loadError(m_dir.file(std::to_string(i)), ref), message == "ok" ? "" : message);
        if (ref.present) {
            EXPECT_EQ(ref.cluster.valid, message == "ok");
            EXPECT_EQ(ref.cluster.labels.empty(), message != "ok");
            EXPECT_EQ(ref.model.loading1,
                      isUmap(edit) ? std::vector<double>() : pca.model.loading1);
        }
    }
    // The file that loads with its clusters: the parts left out take their defaults.
    EXPECT_EQ(ref.umap.params.min_dist, 0.0);
    EXPECT_EQ(ref.umap.initUsed, 1); // random
    EXPECT_TRUE(ref.created.empty() && ref.model.degenerate.empty());
    EXPECT_EQ(ref.model.features, names(3));
}

// Extents within the reader's bounds can still ask for more memory than
// there is: 5e7 training events declared by a file of a few kilobytes. In a
// child process whose address space is capped the allocation fails, and
// the load answers with its message instead of ending the program.
TEST_F(ReferenceFile, AnAllocationThatFailsGivesAMessageNotACrash) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitiser reserves more address space than the cap allows";
#else
    const std::string base = save(reference(1, 60), "U.qv3dr"), big = m_dir.file("big.qv3dr");
    std::ofstream(m_dir.file("edit.txt"))
        << base << " " << big << " train_data=f8[50000000x3] train_embed=f8[50000000x2]\n";
    runOracleText("craft", m_dir.file("edit.txt"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t cap = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (256u << 20);
        const struct rlimit limit = {cap, cap};
        ::setrlimit(RLIMIT_AS, &limit);
        try { // nothing may escape into the test runner's copy in this process
            DimRedReference ref;
            std::string error;
            const bool loaded = loadDimRedReference(big, ref, error);
            ::_exit(!loaded && !ref.present && error == "the reference is too large to load" ? 0
                                                                                             : 3);
        } catch (...) {
            ::_exit(4); // an exception escaped the load
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the load ended with signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST_F(ReferenceFile, SavingIsAtomicAndRefusesWhatCannotBeWritten) {
    std::string error;
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), DimRedReference(), error));
    EXPECT_EQ(error, "there is no fitted projection to save");
    DimRedReference umap = reference(1, 30);
    umap.umap.valid = false;
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), umap, error));
    EXPECT_EQ(error, "the UMAP model is not fitted");
    umap.umap.valid = true;
    umap.umap.embedding.pop_back();
    EXPECT_FALSE(saveDimRedReference(m_dir.file("a.qv3dr"), umap, error));
    EXPECT_EQ(error, "the projection's data do not match its feature list");
    EXPECT_EQ(entries(), 0u);
    // A new file takes the old one's place (not rewritten in place), with
    // the old one's permissions.
    const std::string path = save(reference(0));
    ::chmod(path.c_str(), 0640);
    struct stat before = {}, after = {};
    ::stat(path.c_str(), &before);
    save(reference(1, 60));
    ::stat(path.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 0777, 0640u);
    EXPECT_EQ(load(path).kind, 1);
    // A failing save leaves the existing file and no stray one: a folder
    // in the way, a missing folder.
    std::filesystem::create_directory(m_dir.file("folder.qv3dr"));
    Quorvex3::testing::writeBytes(m_dir.file("folder.qv3dr") + "/inside", "x");
    EXPECT_FALSE(saveDimRedReference(m_dir.file("folder.qv3dr"), reference(0), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(entries(), 2u); // the folder and the file, no temporary
    EXPECT_FALSE(saveDimRedReference(m_dir.file("missing/ref.qv3dr"), reference(0), error));
    EXPECT_EQ(error,
              "cannot create a file in the folder of '" + m_dir.file("missing/ref.qv3dr") + "'");
}

TEST_F(ReferenceFile, SaveAndLoadWaitForTheProcessWideHdf5Lock) {
    const std::string path = save(reference(0));
    std::unique_lock<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
    auto copied = std::async(std::launch::async, [&] {
        DimRedReference ref;
        std::string error;
        return loadDimRedReference(path, ref, error) &&
               saveDimRedReference(m_dir.file("copy.qv3dr"), ref, error);
    });
    EXPECT_EQ(copied.wait_for(std::chrono::milliseconds(150)), std::future_status::timeout);
    lock.unlock();
    EXPECT_TRUE(copied.get());
}
