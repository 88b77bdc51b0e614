(() => {
  const table = document.getElementById("pages");
  const body = table.tBodies[0];
  const heads = Array.from(table.tHead.rows[0].cells);
  const compare = (x, y) => {
    if (x === "" || y === "") return (x === "") - (y === "");
    const a = Number(x), b = Number(y);
    if (!Number.isNaN(a) && !Number.isNaN(b)) return a - b;
    return x < y ? -1 : x > y ? 1 : 0;
  };
  heads.forEach((head, column) => head.addEventListener("click", () => {
    const descending = head.getAttribute("aria-sort") === "ascending";
    heads.forEach((h) => h.removeAttribute("aria-sort"));
    head.setAttribute("aria-sort", descending ? "descending" : "ascending");
    const rows = Array.from(body.rows);
    rows.sort((r, s) => {
      const order = compare(r.cells[column].textContent, s.cells[column].textContent);
      return (descending ? -order : order) || r.cells[0].textContent - s.cells[0].textContent;
    });
    rows.forEach((row) => body.appendChild(row));
  }));
  document.body.setAttribute("data-sortable", "ready");
})();
