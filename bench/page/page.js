// The behaviour of the page `vorlex bench --format html` writes, embedded in
// it at build time. The bench's C++ writes everything that needs no choice
// (description, plots, table, CSV link), so the page reads well without a
// script; this adds what depends on the reader: the input shown, the link
// speed and the ranking by total time, values on hover, table sorting. It
// reads the run's rows from the JSON in #bench-data and loads nothing.
(function () {
  'use strict';

  const DEFAULT_LINK = 100;  // MB/s: about a gigabit link
  const FALLBACK_MEMORY = 100000;  // MB/s, when no copy or memcpy row says better
  const SLIDER_STEPS = 1000;

  const $ = (id) => document.getElementById(id);
  const data = JSON.parse($('bench-data').textContent);
  const usable = (r) => r.ratio > 0 && r.compress_mb_s > 0 && r.decompress_mb_s > 0 &&
    r.original > 0;
  const rows = data.rows.filter(usable);
  const groups = [];
  for (const r of data.rows) if (!groups.includes(r.input)) groups.push(r.input);
  const name = (r) => r.peer ? r.codec + ' (peer)' : r.codec;

  // ---- numbers as people read them ------------------------------------
  // Rounded first, so that 0.9996 reads "1 MB/s", not "1000 kB/s".
  const sig = (v, n) => Number(v.toPrecision(n));
  function scaled(v, units) {
    const r = sig(v, 3);
    for (const [factor, unit] of units) {
      if (r >= factor) return sig(r / factor, 3) + ' ' + unit;
    }
    const [factor, unit] = units[units.length - 1];
    return sig(r / factor, 3) + ' ' + unit;
  }
  const speedText = (mbs) => scaled(mbs, [[1000, 'GB/s'], [1, 'MB/s'], [1e-3, 'kB/s']]);
  const bitsText = (mbs) => scaled(mbs * 8, [[1000, 'Gbit/s'], [1, 'Mbit/s'], [1e-3, 'kbit/s']]);
  function timeText(s) {
    if (s >= 100) return s.toFixed(0) + ' s';
    return scaled(s, [[1, 's'], [1e-3, 'ms'], [1e-6, '\u00b5s']]);
  }
  function bytesText(n) {
    if (n < 1000) return n + ' bytes';
    return scaled(n, [[1e9, 'GB'], [1e6, 'MB'], [1e3, 'kB']]);
  }

  // "10MB/s", "100 Mbit/s", "1Gbps", "512KiB/s", "2.5GB/s", "40" (MB/s),
  // "memory": the link's speed in MB/s (10^6 bytes per second), or null.
  // B is a byte and b a bit; k, M, G, T are powers of 1000, Ki, Mi, Gi, Ti
  // of 1024.
  function parseLink(text, memory) {
    const t = String(text).trim();
    if (/^mem(ory)?$/i.test(t)) return memory;
    const number = '([0-9]*\\.?[0-9]+(?:[eE][+-]?[0-9]+)?)';
    const unit = '(?:([kKMGT])(i)?)?(B|b|bit|bits|byte|bytes)?\\s*(\\/\\s*s|ps)?';
    const m = new RegExp('^' + number + '\\s*' + unit + '$').exec(t);
    if (!m) return null;
    const value = parseFloat(m[1]);
    const power = { '': 0, k: 1, K: 1, M: 2, G: 3, T: 4 }[m[2] || ''];
    let bytes = value * Math.pow(m[3] ? 1024 : 1000, power);
    if (!m[2] && !m[4]) bytes = value * 1e6;  // a bare number is MB/s
    if (m[4] === 'b' || m[4] === 'bit' || m[4] === 'bits') bytes /= 8;
    const mbs = bytes / 1e6;
    return isFinite(mbs) && mbs > 0 ? mbs : null;
  }

  // The fastest copy in the run (our copy codec or the memcpy peer): the
  // top of the link-speed scale.
  function memorySpeed() {
    let best = 0;
    for (const r of rows) {
      if (r.codec === 'memcpy' || (!r.peer && r.codec === 'copy')) {
        best = Math.max(best, Math.min(r.compress_mb_s, r.decompress_mb_s));
      }
    }
    return best > 0 ? best : FALLBACK_MEMORY;
  }

  // ---- state: input and link speed, from the address ------------------
  const memory = memorySpeed();
  const params = new URLSearchParams(window.location.search);
  const state = { input: null, link: DEFAULT_LINK, linkText: speedText(DEFAULT_LINK) };
  const defaultInput = groups.includes('total') ? 'total' : groups[groups.length - 1];
  state.input = groups.includes(params.get('input')) ? params.get('input') : defaultInput;
  let linkProblem = '';
  if (params.has('link')) {
    const v = parseLink(params.get('link'), memory);
    if (v === null) linkProblem = params.get('link');
    else { state.link = v; state.linkText = params.get('link'); }
  }
  const sliderTop = () => Math.max(memory, state.link, 1000);

  // ---- the ranking ------------------------------------------------------
  function ranking(input, link) {
    const out = [];
    for (const r of rows) {
      if (r.input !== input) continue;
      const mb = r.original / 1e6;
      const c = mb / r.compress_mb_s;
      const t = r.compressed / 1e6 / link;
      const d = mb / r.decompress_mb_s;
      out.push({ row: r, c: c, t: t, d: d, total: c + t + d });
    }
    out.sort((a, b) => a.total - b.total || name(a.row).localeCompare(name(b.row)));
    return out;
  }

  function cell(tr, text, cls) {
    const td = document.createElement('td');
    td.textContent = text;
    if (cls) td.className = cls;
    tr.appendChild(td);
    return td;
  }

  function renderRanking() {
    const ranked = ranking(state.input, state.link);
    const body = $('ranking').tBodies[0];
    body.textContent = '';
    const slowest = ranked.length ? ranked[ranked.length - 1].total : 1;
    ranked.forEach((e, i) => {
      const tr = document.createElement('tr');
      tr.dataset.codec = e.row.codec;
      tr.dataset.peer = e.row.peer ? '1' : '0';
      if (e.row.peer) tr.classList.add('peer');
      if (i === 0) tr.classList.add('winner');
      cell(tr, String(i + 1), 'num');
      cell(tr, e.row.codec, 'codec');
      cell(tr, timeText(e.total), 'num');
      const bar = cell(tr, '', 'bar').appendChild(document.createElement('div'));
      bar.title = 'compress ' + timeText(e.c) + ', transfer ' + timeText(e.t) +
        ', decompress ' + timeText(e.d);
      for (const [cls, v] of [['c', e.c], ['t', e.t], ['d', e.d]]) {
        const s = bar.appendChild(document.createElement('span'));
        s.className = cls;
        s.style.width = (100 * v / slowest) + '%';
      }
      cell(tr, timeText(e.c), 'num');
      cell(tr, timeText(e.t), 'num');
      cell(tr, timeText(e.d), 'num');
      cell(tr, speedText(e.row.original / 1e6 / e.total), 'num');
      body.appendChild(tr);
    });

    const best = $('best');
    best.dataset.linkMbS = String(state.link);
    best.dataset.input = state.input;
    best.textContent = '';
    if (!ranked.length) {
      best.dataset.bestTotal = '';
      best.textContent = 'No codec has results for this input.';
      return;
    }
    const w = ranked[0];
    best.dataset.bestTotal = name(w.row);
    best.append('At ' + speedText(state.link) + ' (' + bitsText(state.link) + '), ');
    const strong = best.appendChild(document.createElement('strong'));
    strong.textContent = name(w.row);
    if (w.row.peer) strong.className = 'peer';
    best.append(' gets ' + (state.input === 'total' ? 'all inputs' : state.input) + ' (' +
      bytesText(w.row.original) + ') across fastest: ' + timeText(w.total) + '.');
    const sent = w.row.original / 1e6 / state.link;
    best.append(' Uncompressed, the transfer alone takes ' + timeText(sent) + '.');
  }

  // ---- link controls ---------------------------------------------------
  const range = $('link-range');
  const text = $('link-text');
  range.min = '0';
  range.max = String(SLIDER_STEPS);
  const toSlider = (mbs) => Math.round(SLIDER_STEPS * Math.log(mbs) / Math.log(sliderTop()));
  const fromSlider = (pos) => Math.exp(pos / SLIDER_STEPS * Math.log(sliderTop()));

  function shareLink() {
    const p = new URLSearchParams();
    p.set('link', state.linkText.replace(/\s+/g, ''));
    if (state.input !== defaultInput) p.set('input', state.input);
    return '?' + p.toString().replace(/%2F/g, '/');
  }

  function update(fromAddress) {
    range.value = String(toSlider(Math.max(state.link, 1)));
    text.value = state.linkText;
    $('link-share').href = shareLink();
    $('link-memory').textContent = speedText(memory);
    renderRanking();
    showGroup();
    if (!fromAddress) {
      // file: pages may refuse a new address; the share link still works.
      try { window.history.replaceState(null, '', shareLink()); } catch (e) { /* kept as is */ }
    }
  }

  function setLink(mbs, label) {
    state.link = mbs;
    state.linkText = label || speedText(mbs);
    text.classList.remove('bad');
    update(false);
  }

  range.addEventListener('input', () => {
    const v = Number(sig(fromSlider(Number(range.value)), 3));
    setLink(v, speedText(v));
  });
  text.addEventListener('change', () => {
    const v = parseLink(text.value, memory);
    if (v === null) { text.classList.add('bad'); return; }
    setLink(v, text.value.trim());
  });
  for (const b of document.querySelectorAll('[data-link]')) {
    b.addEventListener('click', () => {
      const v = parseLink(b.dataset.link, memory);
      if (v !== null) setLink(v, b.dataset.link === 'memory' ? speedText(v) : b.dataset.link);
    });
  }

  // ---- input choice: plots and ranking follow it -----------------------
  const inputSelect = $('input');
  inputSelect.value = state.input;
  inputSelect.addEventListener('change', () => {
    state.input = inputSelect.value;
    update(false);
  });
  function showGroup() {
    for (const g of document.querySelectorAll('.group[data-input]')) {
      g.hidden = g.dataset.input !== state.input;
    }
  }

  // ---- hover: a codec's values, and the codec marked everywhere ---------
  const tip = $('tip');
  const keyOf = (el) => el && el.dataset && el.dataset.codec !== undefined ?
    { codec: el.dataset.codec, peer: el.dataset.peer === '1' } : null;
  function mark(key, on) {
    const sel = '[data-codec="' + CSS.escape(key.codec) + '"][data-peer="' +
      (key.peer ? '1' : '0') + '"]';
    for (const el of document.querySelectorAll(sel)) {
      if (el.id !== 'best') el.classList.toggle('hl', on);
    }
  }
  function showTip(el, x, y) {
    const key = keyOf(el);
    const group = el.closest('.group');
    const input = group ? group.dataset.input : state.input;
    const r = rows.find((q) => q.input === input && q.codec === key.codec && q.peer === key.peer);
    if (!r) return;
    const e = ranking(input, state.link).find((q) => q.row === r);
    tip.textContent = '';
    const head = tip.appendChild(document.createElement('b'));
    head.textContent = name(r);
    tip.append(' on ' + input);
    const t = tip.appendChild(document.createElement('table'));
    const lines = [
      ['ratio', r.ratio.toFixed(3)],
      ['size', bytesText(r.original) + ' \u2192 ' + bytesText(r.compressed)],
      ['compression', r.compress_mb_s.toFixed(1) + ' MB/s'],
      ['decompression', r.decompress_mb_s.toFixed(1) + ' MB/s'],
    ];
    if (r.compress_vs_lz4 !== null && r.compress_vs_lz4 !== undefined) {
      lines.push(['vs lz4', r.compress_vs_lz4.toFixed(3) + ' \u00d7 comp, ' +
        r.decompress_vs_lz4.toFixed(3) + ' \u00d7 dec']);
    }
    if (e) lines.push(['at ' + speedText(state.link), timeText(e.total) + ' in all']);
    for (const [k, v] of lines) {
      const tr = t.insertRow();
      tr.insertCell().textContent = k;
      tr.insertCell().textContent = v;
    }
    tip.hidden = false;
    const pad = 14;
    const w = tip.offsetWidth, h = tip.offsetHeight;
    let left = x + pad, top = y + pad;
    if (left + w > window.scrollX + document.documentElement.clientWidth) left = x - w - pad;
    if (top + h > window.scrollY + document.documentElement.clientHeight) top = y - h - pad;
    tip.style.left = Math.max(0, left) + 'px';
    tip.style.top = Math.max(0, top) + 'px';
  }
  let current = null;
  function enter(el, x, y) {
    if (current && current !== el) leave();
    current = el;
    mark(keyOf(el), true);
    if (el.classList.contains('pt')) showTip(el, x, y);
  }
  function leave() {
    if (!current) return;
    mark(keyOf(current), false);
    current = null;
    tip.hidden = true;
  }
  const target = (ev) => ev.target.closest && ev.target.closest('.pt, tr[data-codec]');
  document.addEventListener('mouseover', (ev) => {
    const el = target(ev);
    if (el) enter(el, ev.pageX, ev.pageY); else leave();
  });
  document.addEventListener('mousemove', (ev) => {
    if (current && current.classList.contains('pt')) showTip(current, ev.pageX, ev.pageY);
  });
  for (const pt of document.querySelectorAll('svg .pt')) {
    pt.setAttribute('tabindex', '0');
    // The script's tooltip replaces the SVG title, which would show as well.
    const title = pt.querySelector('title');
    if (title) pt.setAttribute('aria-label', title.textContent);
    if (title) title.remove();
    pt.addEventListener('focus', () => {
      const b = pt.getBoundingClientRect();
      enter(pt, b.right + window.scrollX, b.bottom + window.scrollY);
    });
    pt.addEventListener('blur', leave);
  }

  // ---- the sortable table ----------------------------------------------
  const table = $('results-table');
  const heads = Array.from(table.tHead.rows[0].cells);
  heads.forEach((th, col) => {
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = th.textContent;
    th.textContent = '';
    th.appendChild(b);
    b.addEventListener('click', () => sortBy(th, col));
  });
  function sortBy(th, col) {
    const numeric = th.classList.contains('num');
    // Numbers start high first (ratios and speeds: more is better), text A to Z.
    const was = th.getAttribute('aria-sort');
    const down = was ? was === 'ascending' : numeric;
    for (const h of heads) h.removeAttribute('aria-sort');
    th.setAttribute('aria-sort', down ? 'descending' : 'ascending');
    const body = table.tBodies[0];
    const value = (tr) => tr.cells[col].textContent;
    const list = Array.from(body.rows);
    list.sort((a, b) => {
      let c;
      if (numeric) {
        const x = parseFloat(value(a)), y = parseFloat(value(b));
        // Cells without a number ("-") go last either way.
        if (isNaN(x) || isNaN(y)) return (isNaN(x) ? 1 : 0) - (isNaN(y) ? 1 : 0);
        c = x - y;
      } else {
        c = value(a).localeCompare(value(b));
      }
      return down ? -c : c;
    });
    for (const tr of list) body.appendChild(tr);
  }
  const tableInput = $('table-input');
  tableInput.addEventListener('change', () => {
    for (const tr of table.tBodies[0].rows) {
      tr.hidden = tableInput.value !== '' && tr.dataset.input !== tableInput.value;
    }
  });

  if (linkProblem) {
    text.classList.add('bad');
    $('link-note').textContent = 'The address asks for link=' + linkProblem +
      ', which is not a speed (try 10MB/s or 100Mbit/s); showing ' + speedText(state.link) + '.';
  }
  update(true);
})();
