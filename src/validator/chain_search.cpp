// The fallback of chain mode. The backward ordering may pick an order in
// which a resolution of the chain is tautological even when a sound order of
// the same antecedents exists. Such a step stands only if a bounded
// depth-first search finds a linear chain of non-tautological Q-resolutions
// over its antecedents that reaches a clause contained in the supplied
// resolvent (a subset of a clause the formula implies is implied as well).

#include <algorithm>

#include "zel.hpp"

namespace {

// Bounds of the search: resolutions computed and candidates examined, for one
// step and for the whole run (so that a certificate of many such steps cannot
// keep the checker busy for hours). A step whose search runs out of budget
// fails.
constexpr size_t kStepResolutions = 100000;
constexpr size_t kStepExaminations = 10000000;
constexpr uint64_t kRunResolutions = 2000000;
constexpr uint64_t kRunExaminations = 200000000;

class ChainSearch {
 public:
  ChainSearch(const std::vector<const DClause*>& clauses, const DClause& target,
              const QCNF& formula, size_t max_resolutions, size_t max_examinations)
      : clauses_(clauses), target_(target), formula_(formula),
        chain_(clauses.size() + 1), used_(clauses.size(), 0),
        max_resolutions_(max_resolutions), max_examinations_(max_examinations) {}

  size_t resolutions() const { return resolutions_; }
  size_t examinations() const { return examinations_; }

  bool run() {
    for (size_t start = 0; start < clauses_.size() && !exhausted_; ++start) {
      chain_[0] = *clauses_[start];
      if (contained(chain_[0])) return true;
      used_[start] = 1;
      if (extend(0)) return true;
      used_[start] = 0;
    }
    return false;
  }

 private:
  bool contained(const DClause& clause) const {
    for (const Literal& literal : clause.literals)
      if (!target_.contains(literal)) return false;
    return true;
  }

  // The single variable on which the two clauses clash, 0 if none or several.
  static unsigned single_clash(const DClause& current, const DClause& other) {
    unsigned clash = 0;
    for (const Literal& literal : other.literals)
      if (current.contains(literal.complement())) {
        if (clash) return 0;
        clash = literal.variable();
      }
    return clash;
  }

  bool extend(size_t depth) {
    const DClause& current = chain_[depth];
    for (size_t candidate = 0; candidate < clauses_.size(); ++candidate) {
      if (used_[candidate]) continue;
      if (++examinations_ > max_examinations_ || resolutions_ >= max_resolutions_) {
        exhausted_ = true;
        return false;
      }
      const unsigned pivot = single_clash(current, *clauses_[candidate]);
      if (!pivot || formula_.variables[pivot].type != Quantifier::EXISTENTIAL) continue;
      ++resolutions_;
      DClause& next = chain_[depth + 1];
      if (clauses_[candidate]->resolve_into(current, pivot, formula_.levels, formula_.variables,
                                            next) != ResolutionOutcome::RESOLVED)
        continue;
      if (contained(next)) return true;
      used_[candidate] = 1;
      if (extend(depth + 1)) return true;
      used_[candidate] = 0;
      if (exhausted_) return false;
    }
    return false;
  }

  const std::vector<const DClause*>& clauses_;  // the non-tautological antecedents
  const DClause& target_;                        // the supplied resolvent
  const QCNF& formula_;
  std::vector<DClause> chain_;    // depth -> clause derived so far
  std::vector<uint8_t> used_;     // candidate -> in the current chain
  const size_t max_resolutions_;
  const size_t max_examinations_;
  size_t resolutions_ = 0;
  size_t examinations_ = 0;
  bool exhausted_ = false;
};

}  // namespace

bool ZEL::linear_chain_exists(const std::vector<unsigned>& listed, const DClause& resolvent) {
  std::vector<const DClause*> clauses;
  for (unsigned number : listed) {
    const DClause& clause = stored_clause(number);
    if (!clause.tautological()) clauses.push_back(&clause);
  }
  const uint64_t resolutions_left = kRunResolutions - chain_search_resolutions;
  const uint64_t examinations_left = kRunExaminations - chain_search_examinations;
  ChainSearch search(clauses, resolvent, formula,
                     static_cast<size_t>(std::min<uint64_t>(kStepResolutions, resolutions_left)),
                     static_cast<size_t>(std::min<uint64_t>(kStepExaminations, examinations_left)));
  const bool found = search.run();
  chain_search_resolutions += search.resolutions();
  chain_search_examinations += std::min<uint64_t>(search.examinations(), examinations_left);
  return found;
}
