// Stochastic gradient steps of the UMAP layout.
//
// The steps of an epoch must act as if taken strictly in edge order, with
// the negative samples drawn in that order. Each step is a long chain of
// dependent arithmetic (distance, logarithm, exponential, division) on the
// positions of at most a handful of points, so consecutive steps that share
// no point are gathered into small batches and run side by side: the
// processor overlaps their chains, and since neither reads what the other
// writes, every position ends up with exactly the bits of the sequential
// order. The random draws do not depend on positions and are taken first.

#include "dimred/UmapLayout.h"
#include "dimred/UmapMath.h"

#include <algorithm>
#include <cmath>

namespace Quorvex3 {
namespace umapdetail {

namespace {

constexpr int kMaxNegatives = 1 << 30; // bounds a step's samples for absurd sample rates
constexpr size_t kBatch = 4;

bool report(const DimRedProgress& progress, int value) {
    return !progress || progress(value);
}

struct Step {
    uint32_t i = 0;
    uint32_t j = 0;
    size_t firstDraw = 0;
    size_t drawCount = 0;
};

class Stepper {
public:
    Stepper(std::vector<double>& pos, double a, double b, double repulsion)
        : m_pos(pos), m_a(a), m_b(b), m_repulsion(repulsion), m_written((pos.size() / 2), 0),
          m_read((pos.size() / 2), 0) {}

    void setAlpha(double alpha) { m_alpha = alpha; }

    // Adds the step from i to j with its negative samples to the batch,
    // running the batch first when the step touches a point that the batch
    // writes, or writes one that it reads.
    void add(uint32_t i, uint32_t j, const std::vector<uint32_t>& samples) {
        Step step;
        step.i = i;
        step.j = j;
        if (m_size == kBatch || conflicts(step, samples))
            flush();
        step.firstDraw = m_draws.size();
        step.drawCount = samples.size();
        m_draws.insert(m_draws.end(), samples.begin(), samples.end());
        m_steps[m_size++] = step;
        mark(step);
    }

    void flush() {
        // Everything the steps read besides the positions, in locals: the
        // positions are doubles, so the compiler must otherwise assume that
        // every position update may change a member and read it again.
        const double a = m_a;
        const double b = m_b;
        const double strength = m_repulsion;
        const double alpha = m_alpha;
        double* const pos = m_pos.data();
        const uint32_t* const draws = m_draws.data();
        for (size_t s = 0; s < m_size; ++s)
            attract(pos, m_steps[s].i, m_steps[s].j, a, b, alpha);
        size_t rounds = 0;
        for (size_t s = 0; s < m_size; ++s)
            rounds = std::max(rounds, m_steps[s].drawCount);
        for (size_t r = 0; r < rounds; ++r)
            for (size_t s = 0; s < m_size; ++s) {
                const Step& st = m_steps[s];
                if (r < st.drawCount && draws[st.firstDraw + r] != st.i)
                    repel(pos, st.i, draws[st.firstDraw + r], a, b, strength, alpha);
            }
        m_size = 0;
        m_draws.clear();
        ++m_stamp;
        if (m_stamp == 0) { // wrapped: forget every old mark
            std::fill(m_written.begin(), m_written.end(), 0);
            std::fill(m_read.begin(), m_read.end(), 0);
            m_stamp = 1;
        }
    }

private:
    bool conflicts(const Step& step, const std::vector<uint32_t>& samples) const {
        if (m_size == 0)
            return false;
        if (m_read[step.i] == m_stamp || m_read[step.j] == m_stamp ||
            m_written[step.i] == m_stamp || m_written[step.j] == m_stamp)
            return true;
        for (const uint32_t m : samples)
            if (m_written[m] == m_stamp)
                return true;
        return false;
    }

    void mark(const Step& step) {
        m_written[step.i] = m_written[step.j] = m_stamp;
        m_read[step.i] = m_read[step.j] = m_stamp;
        for (size_t r = 0; r < step.drawCount; ++r)
            m_read[m_draws[step.firstDraw + r]] = m_stamp;
    }

    static void attract(double* pos, size_t i, size_t j, double a, double b, double alpha) {
        double* pi = &pos[2 * i];
        double* pj = &pos[2 * j];
        const double dx = pi[0] - pj[0];
        const double dy = pi[1] - pj[1];
        const double g = attraction(dx * dx + dy * dy, a, b);
        const double cx = clip4(g * dx) * alpha;
        const double cy = clip4(g * dy) * alpha;
        pi[0] += cx;
        pi[1] += cy;
        pj[0] -= cx;
        pj[1] -= cy;
    }

    static void repel(double* pos, size_t i, size_t m, double a, double b, double strength,
                      double alpha) {
        double* pi = &pos[2 * i];
        const double* pm = &pos[2 * m];
        const double dx = pi[0] - pm[0];
        const double dy = pi[1] - pm[1];
        const double d2 = dx * dx + dy * dy;
        if (d2 > 0.0) {
            const double g = repulsion(d2, a, b, strength);
            if (g > 0.0) {
                pi[0] += clip4(g * dx) * alpha;
                pi[1] += clip4(g * dy) * alpha;
                return;
            }
        }
        pi[0] += 4.0 * alpha;
        pi[1] += 4.0 * alpha;
    }

    std::vector<double>& m_pos;
    double m_a;
    double m_b;
    double m_repulsion;
    double m_alpha = 0.0;
    Step m_steps[kBatch];
    size_t m_size = 0;
    std::vector<uint32_t> m_draws; // negative samples of the batch's steps
    // Per point, the batch stamp when the current batch last wrote / read it.
    std::vector<uint32_t> m_written;
    std::vector<uint32_t> m_read;
    uint32_t m_stamp = 1;
};

} // namespace

bool optimiseLayout(const std::vector<UmapEdge>& edges, const UmapParams& params, int nEpochs,
                    double a, double b, std::vector<double>& embedding, Engine& engine,
                    const DimRedProgress& progress) {
    const size_t rows = embedding.size() / 2;
    const std::vector<double> epochsPerSample = makeEpochsPerSample(edges, nEpochs);
    std::vector<double> nextSample = epochsPerSample;
    // Below one negative sample per positive one there is no negative
    // sampling at all (the period would be infinite or undefined).
    const bool negatives = params.negative_sample_rate >= 1;
    std::vector<double> epochsPerNeg(edges.size(), 0.0);
    if (negatives)
        for (size_t e = 0; e < edges.size(); ++e)
            epochsPerNeg[e] = epochsPerSample[e] / static_cast<double>(params.negative_sample_rate);
    std::vector<double> nextNeg = epochsPerNeg;
    const FastModulo modRows(rows);
    Stepper stepper(embedding, a, b, params.repulsion_strength);
    std::vector<uint32_t> samples;
    for (int t = 0; t < nEpochs; ++t) {
        const double epoch = static_cast<double>(t);
        stepper.setAlpha(params.learning_rate * (1.0 - epoch / static_cast<double>(nEpochs)));
        for (size_t e = 0; e < edges.size(); ++e) {
            if (!(epochsPerSample[e] > 0.0) || !(nextSample[e] <= epoch))
                continue;
            nextSample[e] += epochsPerSample[e];
            samples.clear();
            if (negatives) {
                const double due = (epoch - nextNeg[e]) / epochsPerNeg[e];
                // Truncation toward zero; a count below 1 (or no number) draws nothing.
                const int nNeg = !(due >= 1.0)         ? 0
                                 : due < kMaxNegatives ? static_cast<int>(due)
                                                       : kMaxNegatives;
                for (int s = 0; s < nNeg; ++s)
                    samples.push_back(static_cast<uint32_t>(modRows(engine())));
                if (nNeg >= 1)
                    nextNeg[e] += nNeg * epochsPerNeg[e];
            }
            stepper.add(static_cast<uint32_t>(edges[e].i), static_cast<uint32_t>(edges[e].j),
                        samples);
        }
        stepper.flush();
        if (!report(progress, 35 + (t + 1) * 60 / nEpochs))
            return false;
    }
    return true;
}

} // namespace umapdetail
} // namespace Quorvex3
