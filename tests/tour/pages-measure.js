// Loaded by pages-test.sh into a copy of a tour page: measures the drawing as the browser laid
// it out, in the drawing's own coordinates, and writes the measures into the page for
// --dump-dom, in <pre id="measured">, one tab-separated line each:
//   text  CLASS  LANE  ROW  X  Y  WIDTH  HEIGHT  TEXT   the box of each text (LANE and ROW:
//                                                 its data-lane and data-row, or the lane of its
//                                                 group) and what it shows
//   arrow KIND  X,Y X,Y ...                       points along each arrow, 2 px apart
//   page  WINDOW  VIEW  SCROLL  RIGHT  FONT  TEXT  the window's width, the width the page is
//                                                 shown in (less a scrollbar) and the width it
//                                                 would scroll to, the drawing's right edge, all in
//                                                 CSS pixels; the smallest text shown, in CSS
//                                                 pixels as drawn, and the start of that text
(function () {
  'use strict';
  const svg = document.querySelector('svg.diagram');
  const lines = [];
  svg.querySelectorAll('text').forEach((t) => {
    const b = t.getBBox();
    const group = t.closest('g.lane');
    const lane = t.dataset.lane || (group ? group.dataset.lane : '');
    const shown = Array.from(t.childNodes).filter((c) => c.nodeName !== 'title').map((c) => c.textContent).join(' ');
    lines.push(['text', t.getAttribute('class'), lane, t.dataset.row || '', b.x, b.y, b.width, b.height, shown.replace(/\s/g, ' ')].join('\t'));
  });
  svg.querySelectorAll('path.arrow').forEach((p) => {
    const points = [];
    const length = p.getTotalLength();
    for (let at = 0; at <= length; at += 2) {
      const q = p.getPointAtLength(at);
      points.push(q.x.toFixed(1) + ',' + q.y.toFixed(1));
    }
    lines.push(['arrow', p.dataset.kind, points.join(' ')].join('\t'));
  });
  // Every element shown that holds text of its own, its font size times the scale it is drawn at.
  let smallest = Infinity;
  let which = '';
  document.querySelectorAll('body *').forEach((e) => {
    const own = Array.from(e.childNodes).filter((c) => c.nodeType === Node.TEXT_NODE).map((c) => c.textContent).join('').trim();
    if (own === '' || e.closest('title') || e.getClientRects().length === 0) return;
    const m = e instanceof SVGGraphicsElement ? e.getScreenCTM() : null;
    const px = parseFloat(getComputedStyle(e).fontSize) * (m ? Math.hypot(m.a, m.b) : 1);
    if (px < smallest) {
      smallest = px;
      which = own.slice(0, 40);
    }
  });
  const root = document.documentElement;
  lines.push(['page', window.innerWidth, root.clientWidth, root.scrollWidth, svg.getBoundingClientRect().right, smallest, which].join('\t'));
  const pre = document.createElement('pre');
  pre.id = 'measured';
  pre.textContent = lines.join('\n');
  document.body.appendChild(pre);
})();
