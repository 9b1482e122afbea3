#include "ui/markup.h"

#include <algorithm>
#include <utility>

#include "util/text.h"

namespace ui {

namespace {

// The text of step 3 as a doubly linked list over its characters, so that
// removing a tag costs O(1) instead of moving the rest of the text; a
// Fenwick tree over the live characters gives a node's offset in the current
// text. Nodes 1..n are the characters, 0 is the head, n + 1 the tail; since
// characters are only ever removed, node order is text order.
class TagList {
public:
  explicit TagList(const std::string& text)
      : text_(text), n_(static_cast<int>(text.size())), next_(n_ + 2), prev_(n_ + 2),
        alive_(n_ + 2, 1), tree_(n_ + 1, 0) {
    for (int i = 0; i <= n_; ++i)
      next_[i] = i + 1;
    for (int i = 1; i <= n_ + 1; ++i)
      prev_[i] = i - 1;
    for (int i = 1; i <= n_; ++i) {
      tree_[i] += 1;
      const int parent = i + (i & -i);
      if (parent <= n_) tree_[parent] += tree_[i];
    }
  }

  int Head() const { return 0; }
  int Tail() const { return n_ + 1; }
  int First() const { return next_[0]; }
  int Next(int node) const { return next_[node]; }
  bool Alive(int node) const { return alive_[node] != 0; }

  // Number of live characters before `node` (the tail: all of them).
  std::size_t Offset(int node) const {
    std::size_t sum = 0;
    for (int i = node - 1; i > 0; i -= i & -i)
      sum += tree_[i];
    return sum;
  }

  // The node `count` characters before `node`, or the first one.
  int Back(int node, int count) const {
    for (; count > 0 && prev_[node] != Head(); --count)
      node = prev_[node];
    return node;
  }

  bool IsOpenTag(int node) const { return Matches(node, "<B>"); }
  bool IsCloseTag(int node) const { return Matches(node, "</B>"); }

  // Removes `count` characters from `node` on; returns the node after them.
  int Remove(int node, int count) {
    for (; count > 0 && node != Tail(); --count) {
      const int after = next_[node];
      next_[prev_[node]] = after;
      prev_[after] = prev_[node];
      alive_[node] = 0;
      for (int i = node; i <= n_; i += i & -i)
        --tree_[i];
      node = after;
    }
    return node;
  }

  std::string Text() const {
    std::string out;
    out.reserve(Offset(Tail()));
    for (int node = First(); node != Tail(); node = next_[node])
      out += text_[node - 1];
    return out;
  }

private:
  // `tag` is upper case; the text's letters match in any case.
  bool Matches(int node, std::string_view tag) const {
    for (char c : tag) {
      if (node == Tail() || util::ToUpperAscii(text_[node - 1]) != c) return false;
      node = next_[node];
    }
    return true;
  }

  const std::string& text_;
  int n_;
  std::vector<int> next_, prev_;
  std::vector<char> alive_;
  std::vector<std::size_t> tree_;
};

// The earlier (in text order) of two nodes, where a removed `current` no
// longer counts.
int EarlierScanStart(const TagList& list, int current, int candidate) {
  return (!list.Alive(current) || candidate < current) ? candidate : current;
}

} // namespace

std::string ExpandMarkup(std::string_view text) {
  std::string s = util::ReplaceAll(text, "\\\\n", "\r\n");
  s = util::ReplaceAll(s, "\\\\t", "\t");
  s = util::ReplaceAllNoCase(s, "<P>", "\r\n");
  return util::ReplaceAllNoCase(s, "<T>", "\t");
}

std::string HeadingText(std::string_view text, std::string_view caption) {
  const std::string heading = kCaptionList.find(caption) != std::string_view::npos
                                  ? util::ToUpperAscii(caption)
                                  : std::string(caption);
  std::string out = "<<b>";
  out.append(heading).append("</b><P><P>").append(text).append("<P>");
  return out;
}

MarkupText ParseMarkup(std::string_view markup) {
  std::string expanded = ExpandMarkup(markup);
  if (expanded.starts_with("<<b>")) expanded.erase(0, 1);

  TagList list(expanded);
  MarkupText out;
  // Scan starts: no opening (closing) tag begins before openScan (closeScan).
  // Removing characters can join the pieces around the gap into a new tag
  // that begins at most 2 (3) characters before it, so the scans step back
  // that far after each removal and every character is looked at a bounded
  // number of times.
  int openScan = list.First();
  int closeScan = list.First();
  for (;;) {
    int open = openScan;
    while (open != list.Tail() && !list.IsOpenTag(open))
      open = list.Next(open);
    if (open == list.Tail()) break;
    const int afterOpen = list.Remove(open, 3);
    const std::size_t start = list.Offset(afterOpen);
    openScan = list.Back(afterOpen, 2);
    closeScan = EarlierScanStart(list, closeScan, list.Back(afterOpen, 3));

    int close = closeScan;
    while (close != list.Tail() && !list.IsCloseTag(close))
      close = list.Next(close);
    closeScan = close;
    // The first closing tag counts only when it lies after the opening one.
    if (close == list.Tail() || close < afterOpen) continue;
    const std::size_t end = list.Offset(close);
    const int afterClose = list.Remove(close, 4);
    out.bold.push_back({start, end});
    closeScan = list.Back(afterClose, 3);
    openScan = EarlierScanStart(list, openScan, list.Back(afterClose, 2));
  }

  out.text = util::ReplaceAllNoCase(list.Text(), "</B>", "");
  std::vector<BoldRun> kept;
  for (BoldRun run : out.bold) {
    run.end = std::min(run.end, out.text.size());
    if (run.start < run.end) kept.push_back(run);
  }
  out.bold = std::move(kept);
  return out;
}

} // namespace ui
