#include "firmware/rc_network.h"

#include <cmath>

namespace {

constexpr int kMostJacobiSweeps = 64;
constexpr double kGoneAfterTimeConstants = 40;  // e^-40: nothing of a mode is left
constexpr uint64_t kCachedSteps = 4;             // an instruction's cycles, at most

double& at(std::vector<double>& matrix, int size, int row, int column) {
  return matrix[static_cast<size_t>(row * size + column)];
}

double at(const std::vector<double>& matrix, int size, int row, int column) {
  return matrix[static_cast<size_t>(row * size + column)];
}

// Eigenvalues (on the diagonal of a, which is destroyed) and eigenvectors (the columns
// of vectors) of the symmetric matrix a, by Jacobi rotations: small matrices, and
// accurate however far apart the eigenvalues lie, as they do between a pin's driver
// and a leakage.
void symmetricEigen(std::vector<double>& a, int n, std::vector<double>& vectors) {
  vectors.assign(static_cast<size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i) at(vectors, n, i, i) = 1.0;
  for (int sweep = 0; sweep < kMostJacobiSweeps; ++sweep) {
    double offDiagonal = 0;
    double diagonal = 0;
    for (int p = 0; p < n; ++p) {
      diagonal += at(a, n, p, p) * at(a, n, p, p);
      for (int q = p + 1; q < n; ++q) offDiagonal += at(a, n, p, q) * at(a, n, p, q);
    }
    if (offDiagonal <= 1e-30 * diagonal) return;
    for (int p = 0; p < n; ++p) {
      for (int q = p + 1; q < n; ++q) {
        const double apq = at(a, n, p, q);
        if (apq == 0) continue;
        const double theta = (at(a, n, q, q) - at(a, n, p, p)) / (2 * apq);
        const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
        const double c = 1 / std::sqrt(t * t + 1);
        const double s = t * c;
        for (int k = 0; k < n; ++k) {  // columns p and q
          const double akp = at(a, n, k, p);
          const double akq = at(a, n, k, q);
          at(a, n, k, p) = c * akp - s * akq;
          at(a, n, k, q) = s * akp + c * akq;
        }
        for (int k = 0; k < n; ++k) {  // rows p and q
          const double apk = at(a, n, p, k);
          const double aqk = at(a, n, q, k);
          at(a, n, p, k) = c * apk - s * aqk;
          at(a, n, q, k) = s * apk + c * aqk;
        }
        for (int k = 0; k < n; ++k) {
          const double vkp = at(vectors, n, k, p);
          const double vkq = at(vectors, n, k, q);
          at(vectors, n, k, p) = c * vkp - s * vkq;
          at(vectors, n, k, q) = s * vkp + c * vkq;
        }
      }
    }
  }
}

}  // namespace

void rcReset(RcNetwork& network, int nodes) {
  network.nodes = nodes;
  network.farads.assign(static_cast<size_t>(nodes), 0.0);
  network.siemens.assign(static_cast<size_t>(nodes * nodes), 0.0);
  network.amps.assign(static_cast<size_t>(nodes), 0.0);
}

void rcConnect(RcNetwork& network, int a, int b, double ohms) {
  const double g = 1 / ohms;
  const int n = network.nodes;
  at(network.siemens, n, a, a) += g;
  at(network.siemens, n, b, b) += g;
  at(network.siemens, n, a, b) -= g;
  at(network.siemens, n, b, a) -= g;
}

void rcTie(RcNetwork& network, int node, double volts, double ohms) {
  at(network.siemens, network.nodes, node, node) += 1 / ohms;
  network.amps[static_cast<size_t>(node)] += volts / ohms;
}

void rcSolve(const RcNetwork& network, double stepSeconds, RcResponse& response) {
  // With w = sqrt(C) v the system is symmetric: dw/dt = -H w + ..., H = C^-1/2 G C^-1/2.
  const int n = network.nodes;
  std::vector<double> rootC(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) rootC[static_cast<size_t>(i)] = std::sqrt(network.farads[static_cast<size_t>(i)]);
  std::vector<double> h(network.siemens);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) at(h, n, i, j) /= rootC[static_cast<size_t>(i)] * rootC[static_cast<size_t>(j)];
  std::vector<double> q;
  symmetricEigen(h, n, q);

  response.nodes = n;
  response.rates.resize(static_cast<size_t>(n));
  response.shapes.resize(static_cast<size_t>(n * n));
  response.projection.resize(static_cast<size_t>(n * n));
  for (int k = 0; k < n; ++k) {
    response.rates[static_cast<size_t>(k)] = at(h, n, k, k);
    for (int i = 0; i < n; ++i) {
      at(response.shapes, n, i, k) = at(q, n, i, k) / rootC[static_cast<size_t>(i)];
      at(response.projection, n, k, i) = at(q, n, i, k) * rootC[static_cast<size_t>(i)];
    }
  }
  // steady = G^-1 i = S diag(1/rate) S^T i.
  response.steady.assign(static_cast<size_t>(n), 0.0);
  for (int k = 0; k < n; ++k) {
    double along = 0;
    for (int i = 0; i < n; ++i) along += at(response.shapes, n, i, k) * network.amps[static_cast<size_t>(i)];
    along /= response.rates[static_cast<size_t>(k)];
    for (int i = 0; i < n; ++i) response.steady[static_cast<size_t>(i)] += at(response.shapes, n, i, k) * along;
  }
  response.peaks.assign(static_cast<size_t>(n), 0.0);
  for (int k = 0; k < n; ++k)
    for (int i = 0; i < n; ++i)
      response.peaks[static_cast<size_t>(k)] =
          std::fmax(response.peaks[static_cast<size_t>(k)], std::fabs(at(response.shapes, n, i, k)));
  response.stepSeconds = stepSeconds;
  response.stepDecay.resize(static_cast<size_t>(n) * kCachedSteps);
  for (int k = 0; k < n; ++k)
    for (uint64_t steps = 1; steps <= kCachedSteps; ++steps)
      response.stepDecay[static_cast<size_t>(k) * kCachedSteps + steps - 1] =
          std::exp(-response.rates[static_cast<size_t>(k)] * stepSeconds * static_cast<double>(steps));
  response.amplitudes.assign(static_cast<size_t>(n), 0.0);
}

void rcStart(RcResponse& response, const double* volts) {
  const int n = response.nodes;
  for (int k = 0; k < n; ++k) {
    double amplitude = 0;
    for (int i = 0; i < n; ++i)
      amplitude += at(response.projection, n, k, i) * (volts[i] - response.steady[static_cast<size_t>(i)]);
    response.amplitudes[static_cast<size_t>(k)] = amplitude;
  }
}

void rcAdvance(RcResponse& response, uint64_t steps) {
  if (steps == 0) return;
  for (int k = 0; k < response.nodes; ++k) {
    double& amplitude = response.amplitudes[static_cast<size_t>(k)];
    if (amplitude == 0) continue;
    if (steps <= kCachedSteps) {
      amplitude *= response.stepDecay[static_cast<size_t>(k) * kCachedSteps + steps - 1];
      continue;
    }
    const double decay = response.rates[static_cast<size_t>(k)] * response.stepSeconds * static_cast<double>(steps);
    amplitude = decay > kGoneAfterTimeConstants ? 0 : amplitude * std::exp(-decay);
  }
}

void rcVoltages(const RcResponse& response, double* volts) {
  const int n = response.nodes;
  for (int i = 0; i < n; ++i) volts[i] = response.steady[static_cast<size_t>(i)];
  for (int k = 0; k < n; ++k) {
    const double amplitude = response.amplitudes[static_cast<size_t>(k)];
    if (amplitude == 0) continue;
    for (int i = 0; i < n; ++i) volts[i] += at(response.shapes, n, i, k) * amplitude;
  }
}

bool rcSettled(const RcResponse& response, double toleranceVolts) {
  const int n = response.nodes;
  double worst = 0;
  for (int k = 0; k < n; ++k)
    worst += std::fabs(response.amplitudes[static_cast<size_t>(k)]) * response.peaks[static_cast<size_t>(k)];
  return worst <= toleranceVolts;
}
