#include "ReferenceTestSupport.h"

#include "dimred/Pca.h"

#include <cmath>

namespace Quorvex3::dimredtest {

DimRedReference pcaReference(size_t features, size_t rows) {
    const DimRedMatrix m = gaussianMatrix(rows, features, 17);
    std::vector<std::string> names;
    for (size_t j = 0; j < features; ++j)
        names.push_back("feature_" + std::to_string(j));
    DimRedReference ref;
    ref.kind = 0;
    ref.model = fitPca(m, names);
    std::vector<double> x, y;
    projectOnto(ref.model, m, x, y);
    ref.cluster = buildClusterModel(x, y, 0.8, 5);
    ref.created = "2024-05-01T12:00:00Z";
    ref.app_version = "3.3.99";
    ref.fit_datasets = "A, B";
    ref.present = true;
    return ref;
}

DimRedReference umapReference(size_t events, size_t features, bool fitted) {
    DimRedReference ref;
    ref.kind = 1;
    for (size_t j = 0; j < features; ++j)
        ref.model.features.push_back("f" + std::to_string(j));
    ref.model.centre.assign(features, 0.5);
    ref.model.scale.assign(features, 2.0);
    ref.model.degenerate = {"f1"};
    ref.model.nTrain = events;
    ref.model.valid = true;
    const DimRedMatrix m = blobs((events + 2) / 3, features, 23, nullptr);
    if (fitted) {
        DimRedMatrix train = m;
        train.rows = events;
        train.data.resize(events * features);
        UmapParams p;
        p.n_epochs = 20;
        p.init = 1;
        p.seed = 0xFFFFFFFFFFFFFFFFull;
        ref.umap = umapFit(train, p, {});
    } else {
        UmapModel& u = ref.umap;
        u.trainData.assign(m.data.begin(), m.data.begin() + static_cast<long>(events * features));
        u.embedding.resize(2 * events);
        for (size_t i = 0; i < 2 * events; ++i)
            u.embedding[i] = std::sin(static_cast<double>(i));
        u.nTrain = events;
        u.nFeatures = features;
        u.params.n_epochs = 200;
        u.a = 1.5;
        u.b = 0.9;
        u.initUsed = 0;
        u.valid = true;
    }
    std::vector<double> x, y;
    for (size_t i = 0; i < ref.umap.nTrain; ++i) {
        x.push_back(ref.umap.embedding[2 * i]);
        y.push_back(ref.umap.embedding[2 * i + 1]);
    }
    ref.cluster = buildClusterModel(x, y, 1.5, 3);
    ref.created = "2024-05-02T08:30:00Z";
    ref.app_version = "3.3.99";
    ref.fit_datasets = "Sample 1";
    ref.present = true;
    return ref;
}

ReferenceEditor::ReferenceEditor(const std::string& path)
    : m_file(path, H5F_ACC_RDWR), m_root(m_file.openGroup("/")) {}

void ReferenceEditor::removeAttribute(const std::string& name) {
    if (m_root.attrExists(name))
        m_root.removeAttr(name);
}

void ReferenceEditor::setInt64(const std::string& name, long long value) {
    removeAttribute(name);
    m_root.createAttribute(name, H5::PredType::STD_I64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_LLONG, &value);
}

void ReferenceEditor::setUInt64(const std::string& name, unsigned long long value) {
    removeAttribute(name);
    m_root.createAttribute(name, H5::PredType::STD_U64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_ULLONG, &value);
}

void ReferenceEditor::setDouble(const std::string& name, double value) {
    removeAttribute(name);
    m_root.createAttribute(name, H5::PredType::IEEE_F64LE, H5::DataSpace(H5S_SCALAR))
        .write(H5::PredType::NATIVE_DOUBLE, &value);
}

void ReferenceEditor::setString(const std::string& name, const std::string& value) {
    removeAttribute(name);
    const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    const char* text = value.c_str();
    m_root.createAttribute(name, type, H5::DataSpace(H5S_SCALAR)).write(type, &text);
}

void ReferenceEditor::setDoublePair(const std::string& name, double a, double b) {
    removeAttribute(name);
    const hsize_t two = 2;
    const double values[2] = {a, b};
    m_root.createAttribute(name, H5::PredType::IEEE_F64LE, H5::DataSpace(1, &two))
        .write(H5::PredType::NATIVE_DOUBLE, values);
}

void ReferenceEditor::removeDataset(const std::string& name) {
    if (m_root.nameExists(name))
        m_root.unlink(name);
}

void ReferenceEditor::setDoubles(const std::string& name, const std::vector<hsize_t>& dims,
                                 const std::vector<double>& values) {
    removeDataset(name);
    H5::DataSet d = m_root.createDataSet(name, H5::PredType::IEEE_F64LE,
                                         H5::DataSpace(static_cast<int>(dims.size()), dims.data()));
    if (!values.empty())
        d.write(values.data(), H5::PredType::NATIVE_DOUBLE);
}

void ReferenceEditor::setEmptyChunked(const std::string& name, const std::vector<hsize_t>& dims,
                                      bool strings) {
    removeDataset(name);
    H5::DSetCreatPropList create;
    std::vector<hsize_t> chunk(dims.size(), 1);
    create.setChunk(static_cast<int>(chunk.size()), chunk.data());
    const H5::StrType text(H5::PredType::C_S1, H5T_VARIABLE);
    const H5::DataType& type =
        strings ? static_cast<const H5::DataType&>(text) : H5::PredType::IEEE_F64LE;
    m_root.createDataSet(name, type, H5::DataSpace(static_cast<int>(dims.size()), dims.data()),
                         create);
}

void ReferenceEditor::setStrings(const std::string& name, const std::vector<std::string>& values) {
    removeDataset(name);
    const hsize_t n = values.size();
    const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    H5::DataSet d = m_root.createDataSet(name, type, H5::DataSpace(1, &n));
    std::vector<const char*> p;
    for (const std::string& v : values)
        p.push_back(v.c_str());
    if (!p.empty())
        d.write(p.data(), type);
}

void ReferenceEditor::setFixedStrings(const std::string& name,
                                      const std::vector<std::string>& values, size_t width) {
    removeDataset(name);
    const hsize_t n = values.size();
    H5::StrType type(H5::PredType::C_S1, width);
    type.setStrpad(H5T_STR_SPACEPAD);
    type.setCset(H5T_CSET_UTF8);
    std::string buffer;
    for (const std::string& v : values)
        buffer += v + std::string(width - v.size(), ' ');
    m_root.createDataSet(name, type, H5::DataSpace(1, &n)).write(buffer.data(), type);
}

} // namespace Quorvex3::dimredtest
