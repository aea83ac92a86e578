#include "calc/FLCompensation.h"

#include "core/RTDCReader.h"

#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

namespace Quorvex3 {

namespace {

std::string channelFeature(int channel, const char* suffix) {
    return "fl" + std::to_string(channel) + suffix;
}

} // namespace

FLCompensation::FLCompensation(QObject* parent) : QObject(parent) {}

bool FLCompensation::compensationMatrix(const arma::Mat<double>& spillover,
                                        arma::Mat<double>& compensation) {
    if (spillover.n_rows == 0 || !spillover.is_square())
        return false;
    // inv() succeeds on matrices that are singular up to rounding and then
    // returns huge, meaningless entries: judge by the condition number first.
    const double threshold = spillover.n_rows * std::numeric_limits<double>::epsilon();
    bool ok = spillover.is_finite() && arma::rcond(spillover) >= threshold;
    if (ok)
        ok = arma::inv(compensation, spillover) && compensation.is_finite();
    if (!ok) {
        compensation.reset();
        std::cerr << "FLCompensation: spillover matrix is singular" << std::endl;
    }
    return ok;
}

void FLCompensation::compensateEvent(const arma::Mat<double>& compensation,
                                     const std::vector<double>& input,
                                     std::vector<double>& output) {
    const std::size_t n = input.size();
    output.assign(n, 0.0);
    if (n == 0 || compensation.n_rows != n || compensation.n_cols != n)
        return;
    for (std::size_t r = 0; r < n; ++r) {
        double sum = 0.0;
        for (std::size_t c = 0; c < n; ++c)
            sum = std::fma(compensation(r, c), input[c], sum);
        output[r] = sum;
    }
}

bool FLCompensation::run(RTDCReader* reader, const std::vector<int>& channels,
                         const arma::Mat<double>& spillover) {
    const std::size_t n = channels.size();
    if (!reader || n < 2 || spillover.n_rows != n || spillover.n_cols != n)
        return false;
    const std::size_t events = reader->getEventCount();
    if (events == 0)
        return false;
    arma::Mat<double> compensation;
    if (!compensationMatrix(spillover, compensation))
        return false;

    std::vector<std::shared_ptr<const std::vector<double>>> sources(n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::string refined = channelFeature(channels[k], "_max_rf");
        sources[k] = reader->featureColumn(
            reader->isCalculatedFeature(refined) ? refined : channelFeature(channels[k], "_max"));
    }
    std::vector<std::vector<double>> outputs(n, std::vector<double>(events, 0.0));
    std::vector<double> input(n);
    std::vector<double> output(n);
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t e = 0; e < events; ++e) {
        if (e % 256 == 0)
            emit progressChanged(static_cast<int>(static_cast<std::uint64_t>(e) * 100 / events));
        for (std::size_t k = 0; k < n; ++k)
            input[k] = sources[k] && e < sources[k]->size() ? (*sources[k])[e] : kNaN;
        compensateEvent(compensation, input, output);
        for (std::size_t k = 0; k < n; ++k)
            outputs[k][e] = output[k];
    }
    for (std::size_t k = 0; k < n; ++k)
        reader->addCalculatedFeature(channelFeature(channels[k], "_max_ctc"),
                                     std::move(outputs[k]));
    emit progressChanged(100);
    return true;
}

} // namespace Quorvex3
