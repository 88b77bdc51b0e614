(() => {
  const table = document.getElementById("pages");
  const heads = Array.from(table.tHead.rows[0].cells);
  // The groups of rows, how many each holds, the rows in table order, and each column's keys,
  // read from its cells the first time the column is sorted: a sort compares keys, not the
  // cells' text.
  const bodies = Array.from(table.tBodies);
  const sizes = bodies.map((body) => body.rows.length);
  const rows = bodies.flatMap((body) => Array.from(body.rows));
  const keys = [];
  const keysOf = (column) => (keys[column] ??= rows.map((row) => {
    const text = row.cells[column].textContent;
    return {text, number: text === "" ? NaN : Number(text)};
  }));
  const compare = (x, y) => {
    if (!Number.isNaN(x.number) && !Number.isNaN(y.number)) return x.number - y.number;
    return x.text < y.text ? -1 : x.text > y.text ? 1 : 0;
  };
  heads.forEach((head, column) => head.addEventListener("click", () => {
    const descending = head.getAttribute("aria-sort") === "ascending";
    heads.forEach((h) => h.removeAttribute("aria-sort"));
    head.setAttribute("aria-sort", descending ? "descending" : "ascending");
    const key = keysOf(column);
    const order = rows.map((_, i) => i).sort((i, j) => {
      const empty = (key[i].text === "") - (key[j].text === "");
      const by = compare(key[i], key[j]);
      return empty || (descending ? -by : by) || i - j;
    });
    // Each group filled in one step: the browser lays the table out again once, and only the
    // groups on screen.
    let next = 0;
    bodies.forEach((body, k) => {
      body.append(...order.slice(next, next + sizes[k]).map((i) => rows[i]));
      next += sizes[k];
    });
  }));
  document.body.setAttribute("data-sortable", "ready");
})();
