// signglove live view: draws the events the server streams (see view/view_events.h).
'use strict';

(function () {
  const SVG = 'http://www.w3.org/2000/svg';
  const FINGERS = ['thumb', 'index', 'middle', 'ring', 'little'];
  const BUTTONS = ['A', 'B', 'C', 'D'];
  const GROUP_COLOURS = ['#d6336c', '#2b8a3e', '#1c7ed6', '#e8590c', '#7048e8', '#0b7285'];
  const MOST_WINDOWS_SHOWN = 40;
  const MOST_PAGE_CHARACTERS = 32768;
  const MOST_WORDS = 200;

  const state = {
    setup: null,
    hand: null,        // the latest glove reading or sample: position, angles, bends
    buttons: [0, 0, 0, 0],
    track: [],         // the positions of the last samples
    groups: [],        // the latest sample's contact groups
    windows: [],       // {window, still, name, code}, the last ones
    taking: null,      // {window, samples} of the window being taken
    page: '',
    words: [],
    caption: '',
    ended: null,       // the end event, once the run has ended
    connection: 'connecting',
    bounds: null,      // of every position seen: {x, y, z} each [low, high]
  };
  const dirty = new Set(['all']);
  // Figures, for whoever measures the page (the browser tests): frames the browser
  // offered, frames that drew something, events taken.
  const stats = { frames: 0, drawn: 0, events: 0, started: performance.now() };
  window.signgloveView = { state: state, stats: stats };

  function el(name, attributes, parent) {
    const node = document.createElementNS(SVG, name);
    for (const key in attributes) node.setAttribute(key, attributes[key]);
    if (parent) parent.appendChild(node);
    return node;
  }

  function text(parent, x, y, content, attributes) {
    const node = el('text', Object.assign({ x: x, y: y }, attributes || {}), parent);
    node.textContent = content;
    return node;
  }

  function shown(value, digits) {
    return value === null || value === undefined ? '\u2014' : Number(value).toFixed(digits);
  }

  // ---- what the events do to the state -------------------------------------------

  function grow(bounds, position) {
    if (position.some(function (v) { return v === null; })) return bounds;
    if (!bounds) return { x: [position[0], position[0]], y: [position[1], position[1]], z: [position[2], position[2]] };
    ['x', 'y', 'z'].forEach(function (axis, index) {
      bounds[axis][0] = Math.min(bounds[axis][0], position[index]);
      bounds[axis][1] = Math.max(bounds[axis][1], position[index]);
    });
    return bounds;
  }

  function takeHand(event) {
    state.hand = { position: event.position, angles: event.angles, bends: event.bends };
    state.bounds = grow(state.bounds, event.position);
    dirty.add('hand');
  }

  const handlers = {
    setup: function (event) {
      state.setup = event;
      document.getElementById('source').textContent = event.source === 'simulator' ? 'simulator' : 'program';
      dirty.add('all');
    },
    screen: function (event) {
      state.page = event.page;
      state.words = event.words.slice();
      state.caption = event.caption;
      state.ended = event.ended ? { status: null } : null;
      state.track = [];
      state.windows = [];
      state.taking = null;
      dirty.add('all');
      if (event.ended) stop();
    },
    glove: function (event) {
      takeHand(event);
      state.buttons = event.buttons;
      dirty.add('buttons');
    },
    sample: function (event) {
      takeHand(event);
      state.track.push(event.position);
      const kept = state.setup ? state.setup.trackSamples : 30;
      if (state.track.length > kept) state.track.splice(0, state.track.length - kept);
      state.groups = event.slots.slice(0, event.groups);
      state.taking = event.window > 0 ? { window: event.window, samples: event.index + 1 } : null;
      dirty.add('track');
      dirty.add('pads');
      dirty.add('windows');
    },
    window: function (event) {
      state.windows.push(event);
      if (state.windows.length > MOST_WINDOWS_SHOWN) state.windows.shift();
      state.taking = null;
      dirty.add('windows');
    },
    console: function (event) {
      state.page += event.text;
      if (state.page.length > MOST_PAGE_CHARACTERS) {
        const cut = state.page.indexOf('\n', state.page.length - MOST_PAGE_CHARACTERS);
        state.page = state.page.slice(cut < 0 ? state.page.length - MOST_PAGE_CHARACTERS : cut + 1);
      }
      dirty.add('console');
    },
    clear: function () {
      state.page = '';
      dirty.add('console');
    },
    word: function (event) {
      state.words.push(event.text);
      if (state.words.length > MOST_WORDS) state.words.shift();
      dirty.add('words');
    },
    signer: function (event) {
      state.caption = event.text;
      dirty.add('status');
    },
    end: function (event) {
      state.ended = event;
      dirty.add('status');
      stop();
    },
  };

  // ---- drawing ------------------------------------------------------------------

  const bends = { svg: document.getElementById('bends') };
  const BAR_TOP = 8, BAR_BOTTOM = 158, BAR_LEFT = 58, BAR_WIDTH = 34, BAR_GAP = 13;

  function bendScale() {
    let highest = 64;
    if (state.hand) state.hand.bends.forEach(function (b) { while (b !== null && b > highest && highest < 256) highest *= 2; });
    return Math.max(highest, bends.scale || 64);
  }

  function bendY(value, scale) {
    return BAR_BOTTOM - (Math.min(value, scale) / scale) * (BAR_BOTTOM - BAR_TOP);
  }

  function buildBends() {
    const svg = bends.svg;
    svg.textContent = '';
    bends.scale = bendScale();
    bends.bars = [];
    bends.values = [];
    FINGERS.forEach(function (finger, index) {
      const x = BAR_LEFT + index * (BAR_WIDTH + BAR_GAP);
      el('rect', { x: x, y: BAR_TOP, width: BAR_WIDTH, height: BAR_BOTTOM - BAR_TOP, class: 'frame' }, svg);
      bends.bars.push(el('rect', { x: x, y: BAR_BOTTOM, width: BAR_WIDTH, height: 0, class: 'bar' }, svg));
      text(svg, x + BAR_WIDTH / 2, BAR_BOTTOM + 13, finger, { 'text-anchor': 'middle' });
      bends.values.push(text(svg, x + BAR_WIDTH / 2, BAR_BOTTOM + 26, '\u2014', { 'text-anchor': 'middle', class: 'faint' }));
    });
    const right = BAR_LEFT + FINGERS.length * (BAR_WIDTH + BAR_GAP) - BAR_GAP;
    const thresholds = state.setup ? state.setup.bendThresholds : [];
    thresholds.forEach(function (threshold) {
      const y = bendY(threshold, bends.scale);
      el('line', { x1: BAR_LEFT - 4, x2: right, y1: y, y2: y, class: 'threshold' }, svg);
      text(svg, BAR_LEFT - 6, y + 3, String(threshold), { 'text-anchor': 'end', class: 'threshold-label' });
    });
    text(svg, BAR_LEFT - 6, BAR_TOP + 4, String(bends.scale), { 'text-anchor': 'end', class: 'faint' });
    text(svg, BAR_LEFT - 6, BAR_BOTTOM + 3, '0', { 'text-anchor': 'end', class: 'faint' });
  }

  function drawBends() {
    if (bendScale() !== bends.scale || !bends.bars) buildBends();
    if (!state.hand) return;
    state.hand.bends.forEach(function (value, index) {
      const y = value === null ? BAR_BOTTOM : bendY(Math.max(0, value), bends.scale);
      bends.bars[index].setAttribute('y', y);
      bends.bars[index].setAttribute('height', BAR_BOTTOM - y);
      bends.values[index].textContent = shown(value, 0);
    });
  }

  const angles = { svg: document.getElementById('angles') };

  function buildAngles() {
    angles.svg.textContent = '';
    angles.needles = [];
    angles.values = [];
    for (let index = 0; index < 3; ++index) {
      const cx = 50 + index * 100, cy = 38;
      el('circle', { cx: cx, cy: cy, r: 28, class: 'frame' }, angles.svg);
      el('line', { x1: cx, y1: cy - 28, x2: cx, y2: cy - 23, class: 'axis' }, angles.svg);
      angles.needles.push(el('line', { x1: cx, y1: cy, x2: cx, y2: cy - 24, class: 'needle' }, angles.svg));
      angles.values.push(text(angles.svg, cx, 84, 'angle ' + (index + 1) + ': \u2014', { 'text-anchor': 'middle' }));
    }
  }

  function drawAngles() {
    if (!angles.needles) buildAngles();
    if (!state.hand) return;
    state.hand.angles.forEach(function (value, index) {
      const cx = 50 + index * 100, cy = 38;
      angles.needles[index].setAttribute('transform', 'rotate(' + (value === null ? 0 : value) + ' ' + cx + ' ' + cy + ')');
      angles.values[index].textContent = 'angle ' + (index + 1) + ': ' + shown(value, 1);
    });
  }

  const buttons = { svg: document.getElementById('buttons') };

  function drawButtons() {
    if (!buttons.marks) {
      buttons.marks = BUTTONS.map(function (name, index) {
        const cx = 40 + index * 72;
        const mark = el('circle', { cx: cx, cy: 22, r: 16, class: 'button' }, buttons.svg);
        text(buttons.svg, cx, 26, name, { 'text-anchor': 'middle' });
        return mark;
      });
    }
    state.buttons.forEach(function (down, index) {
      buttons.marks[index].setAttribute('class', down ? 'button down' : 'button');
    });
  }

  // A view of the position along two axes, scaled to every position seen so far.
  function positionView(id, across, up, flipUp) {
    const view = { svg: document.getElementById(id) };
    el('rect', { x: 1, y: 1, width: 198, height: 198, class: 'frame' }, view.svg);
    view.track = el('polyline', { class: 'track', points: '' }, view.svg);
    view.dots = el('g', {}, view.svg);
    view.now = el('circle', { r: 5, class: 'hand-now', cx: -10, cy: -10 }, view.svg);
    view.range = text(view.svg, 6, 194, '', { class: 'faint' });
    view.draw = function () {
      const b = state.bounds;
      if (!b) return;
      const axes = ['x', 'y', 'z'];
      const a = axes.indexOf(across), u = axes.indexOf(up);
      const span = Math.max(200, b[across][1] - b[across][0], b[up][1] - b[up][0]) * 1.15;
      const centreA = (b[across][0] + b[across][1]) / 2, centreU = (b[up][0] + b[up][1]) / 2;
      const map = function (position) {
        const x = 100 + ((position[a] - centreA) / span) * 190;
        const y = 100 + ((position[u] - centreU) / span) * 190 * (flipUp ? -1 : 1);
        return [x, y];
      };
      const points = state.track.filter(function (p) { return p[a] !== null && p[u] !== null; }).map(map);
      view.track.setAttribute('points', points.map(function (p) { return p[0].toFixed(1) + ',' + p[1].toFixed(1); }).join(' '));
      view.dots.textContent = '';
      points.forEach(function (p) { el('circle', { cx: p[0], cy: p[1], r: 2, class: 'track-dot' }, view.dots); });
      if (state.hand && state.hand.position[a] !== null && state.hand.position[u] !== null) {
        const now = map(state.hand.position);
        view.now.setAttribute('cx', now[0]);
        view.now.setAttribute('cy', now[1]);
      }
      view.range.textContent = 'square: ' + Math.round(span) + ' units';
    };
    return view;
  }

  const above = positionView('above', 'x', 'z', false);
  const side = positionView('side', 'z', 'y', true);

  function drawPosition() {
    above.draw();
    side.draw();
    const p = state.hand ? state.hand.position : [null, null, null];
    document.getElementById('position').textContent = 'x ' + shown(p[0], 1) + '   y ' + shown(p[1], 1) + '   z ' + shown(p[2], 1);
  }

  // Both hands, palms towards the signer, thumbs towards the middle.
  const pads = { svg: document.getElementById('pads'), marks: {} };
  const FINGER_SHAPES = { T: null, I: [-27, 62], M: [-9, 70], R: [9, 64], P: [27, 50] };

  function buildHands() {
    const svg = pads.svg;
    [['L', 80, 1], ['R', 240, -1]].forEach(function (hand) {
      const side = hand[0], cx = hand[1], mirror = hand[2];  // mirror: +1 puts the thumb to the right
      const g = el('g', {}, svg);
      Object.keys(FINGER_SHAPES).forEach(function (finger) {
        const shape = FINGER_SHAPES[finger];
        if (!shape) return;
        const x = cx - mirror * shape[0];
        el('rect', { x: x - 8, y: 112 - shape[1], width: 16, height: shape[1] + 10, rx: 8, class: 'hand' }, g);
        pads.marks[side + finger] = el('circle', { cx: x, cy: 112 - shape[1] + 9, r: 6.5, class: 'pad' }, g);
      });
      const thumbX = cx + mirror * 44, thumbY = 140;
      el('rect', { x: thumbX - 8, y: thumbY - 40, width: 16, height: 52, rx: 8, class: 'hand',
        transform: 'rotate(' + (mirror * 35) + ' ' + thumbX + ' ' + (thumbY + 12) + ')' }, g);
      el('rect', { x: cx - 36, y: 105, width: 72, height: 80, rx: 14, class: 'hand' }, g);
      const reach = 43, turn = mirror * 35 * Math.PI / 180;  // from the thumb's base to its pad
      pads.marks[side + 'T'] = el('circle', { cx: thumbX + reach * Math.sin(turn), cy: thumbY + 12 - reach * Math.cos(turn),
        r: 6.5, class: 'pad' }, g);
      pads.marks[side + 'Pm'] = el('circle', { cx: cx, cy: 148, r: 9, class: 'pad' }, g);
      text(svg, cx, 204, side === 'L' ? 'left hand' : 'right hand', { 'text-anchor': 'middle', class: 'faint' });
    });
  }

  function drawPads() {
    if (!state.setup) return;
    if (!pads.built) {
      buildHands();
      pads.built = true;
    }
    const colourOf = {};
    const chips = [];
    state.groups.forEach(function (mask, index) {
      const colour = GROUP_COLOURS[index % GROUP_COLOURS.length];
      const names = [];
      state.setup.pads.forEach(function (pad) {
        if (mask & pad.mask) {
          colourOf[pad.name] = colour;
          names.push(pad.name);
        }
      });
      chips.push([colour, names.join(' ') || '0x' + mask.toString(16)]);
    });
    state.setup.pads.forEach(function (pad) {
      const mark = pads.marks[pad.name];
      if (mark) mark.style.fill = colourOf[pad.name] || '';
    });
    const list = document.getElementById('groups');
    list.textContent = '';
    chips.forEach(function (chip) {
      const span = document.createElement('span');
      span.style.background = chip[0];
      span.textContent = chip[1];
      list.appendChild(span);
    });
    if (!chips.length) list.textContent = 'no pads touch';
  }

  function drawWindows() {
    const strip = document.getElementById('windows');
    strip.textContent = '';
    state.windows.forEach(function (w) {
      const box = document.createElement('div');
      box.className = 'window ' + (w.still ? 'still' : 'moving');
      box.title = 'window ' + w.window + ': ' + (w.still ? 'still' : 'moving') + ', ' + w.name;
      const number = document.createElement('span');
      number.className = 'number';
      number.textContent = '#' + w.window;
      const name = document.createElement('span');
      name.className = 'name';
      name.textContent = w.handshape === 0 ? '\u2013' : w.name;
      box.appendChild(number);
      box.appendChild(name);
      strip.appendChild(box);
    });
    if (state.taking) {
      const box = document.createElement('div');
      box.className = 'window taking';
      box.textContent = '#' + state.taking.window + ' ' + state.taking.samples + '/' + (state.setup ? state.setup.windowSamples : 3);
      strip.appendChild(box);
    }
    while (strip.scrollWidth > strip.clientWidth && strip.firstChild && strip.children.length > 1) strip.removeChild(strip.firstChild);
  }

  function drawConsole() {
    const pre = document.getElementById('console');
    const atBottom = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
    pre.textContent = state.page;
    if (atBottom) pre.scrollTop = pre.scrollHeight;
  }

  function drawWords() {
    const line = document.getElementById('words');
    line.textContent = '';
    state.words.forEach(function (word, index) {
      const span = document.createElement('span');
      if (index === state.words.length - 1) span.className = 'latest';
      span.textContent = word;
      line.appendChild(span);
      line.appendChild(document.createTextNode(' '));
    });
  }

  function drawStatus() {
    const status = document.getElementById('status');
    if (state.ended) {
      status.className = 'status ended';
      status.textContent = state.ended.status === null || state.ended.status === undefined
        ? 'the run has ended' : 'the run has ended (exit status ' + state.ended.status + ')';
    } else {
      status.className = 'status ' + state.connection;
      status.textContent = { connecting: 'connecting', live: 'live', lost: 'connection lost: trying again' }[state.connection];
    }
    document.getElementById('caption').textContent = state.caption ? 'virtual signer: ' + state.caption : '';
  }

  const drawers = {
    hand: function () { drawBends(); drawAngles(); drawPosition(); },
    buttons: drawButtons,
    track: drawPosition,
    pads: drawPads,
    windows: drawWindows,
    console: drawConsole,
    words: drawWords,
    status: drawStatus,
  };

  function frame() {
    ++stats.frames;
    if (dirty.size) {
      const parts = dirty.has('all') ? Object.keys(drawers) : Array.from(dirty);
      if (dirty.has('all')) bends.bars = null;
      dirty.clear();
      parts.forEach(function (part) { drawers[part](); });
      ++stats.drawn;
    }
    window.requestAnimationFrame(frame);
  }

  // ---- the stream ---------------------------------------------------------------

  const source = new EventSource('events');

  function stop() {
    source.close();  // the run is over: nothing more will come, and nothing is retried
  }

  source.onopen = function () {
    state.connection = 'live';
    dirty.add('status');
  };
  source.onerror = function () {
    if (state.ended) return;
    state.connection = source.readyState === EventSource.CLOSED ? 'lost' : 'connecting';
    dirty.add('status');
  };
  source.onmessage = function (message) {
    const event = JSON.parse(message.data);
    ++stats.events;
    const handler = handlers[event.kind];
    if (handler) handler(event);
  };

  window.requestAnimationFrame(frame);
})();
