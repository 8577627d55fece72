// 設定 in the page: the desktop dialog's controls, captions and places (the design table the
// program hands over), over the same rules (settings-tool/rules.h) through the program's
// exported functions. OK writes Zorbilo.ini; the game reads it at its next start, so the dialog
// then offers to restart the game.
'use strict';

const ZorbiloSettings = (() => {
  const CHECK = { unchecked: 0, checked: 1, grayed: 2 };

  function design(program) {
    return JSON.parse(program.UTF8ToString(program._zorbilo_settings_design()));
  }

  function open(program, { onSaved, restart }) {
    if (document.querySelector('dialog.settings')) return;
    const d = design(program);
    const px = (twips) => `${Math.round(twips / d.twipsPerPixel)}px`;
    const dialog = document.createElement('dialog');
    dialog.className = 'settings';
    const title = document.createElement('div');
    title.className = 'title';
    const caption = document.createElement('span');
    caption.textContent = d.caption;
    const close = document.createElement('button');
    close.type = 'button';
    close.textContent = '×';
    close.setAttribute('aria-label', 'close');
    title.append(caption, close);
    const client = document.createElement('div');
    client.className = 'client';
    client.style.width = px(d.width);
    client.style.height = px(d.height);
    dialog.append(title, client);

    const made = [];
    const controls = {};
    d.controls.forEach((c, i) => {
      let el;
      if (c.kind === 'frame') {
        el = document.createElement('fieldset');
        const legend = document.createElement('legend');
        legend.textContent = c.caption;
        el.append(legend);
      } else if (c.kind === 'button') {
        el = document.createElement('button');
        el.type = 'button';
        el.textContent = c.caption;
      } else {
        el = document.createElement('label');
        const input = document.createElement('input');
        input.type = c.kind === 'option' ? 'radio' : 'checkbox';
        if (c.kind === 'option') input.name = `group${c.container}`;
        el.append(input, document.createTextNode(c.caption));
        el.input = input;
      }
      el.id = c.name;
      el.style.left = px(c.left);
      el.style.top = px(c.top);
      el.style.width = px(c.width);
      el.style.height = px(c.height);
      (c.container >= 0 ? made[c.container] : client).append(el);
      made[i] = el;
      controls[c.name] = el;
    });

    // What the file holds: a face applies it to its controls. An option that is off changes
    // nothing, so the design's first option stays selected.
    const radio = (name) => controls[name].input;
    radio('optWindow').checked = true;
    radio('optLeft').checked = true;
    const loaded = program._zorbilo_settings_load();
    if (loaded & 1) radio('optFullScreen').checked = true;
    if (loaded & 2) radio('optRight').checked = true;
    const box = controls.chkShowFPS.input;
    let state = (loaded >> 2) & 3;
    const showState = () => {
      box.checked = state === CHECK.checked;
      box.indeterminate = state === CHECK.grayed;
    };
    showState();
    box.addEventListener('click', () => {
      state = program._zorbilo_settings_after_click(state);
      showState();  // over the browser's own toggle: the rules' state is what shows
    });

    const finish = () => {
      dialog.close();
      dialog.remove();
    };
    close.addEventListener('click', finish);
    dialog.addEventListener('cancel', (e) => {
      e.preventDefault();
      finish();
    });
    controls.btnOK.addEventListener('click', async () => {
      program._zorbilo_settings_save(radio('optFullScreen').checked ? 1 : 0,
        radio('optRight').checked ? 1 : 0, state);
      if (onSaved) await onSaved();
      // The game reads its settings when it starts: offer the restart.
      client.remove();
      const offer = document.createElement('div');
      offer.className = 'restart';
      const text = document.createElement('span');
      text.textContent = 'The game reads the settings when it starts.';
      const again = document.createElement('button');
      again.type = 'button';
      again.id = 'restartGame';
      again.textContent = 'start again';
      const later = document.createElement('button');
      later.type = 'button';
      later.textContent = 'later';
      again.addEventListener('click', () => { finish(); restart(); });
      later.addEventListener('click', finish);
      offer.append(text, again, later);
      dialog.append(offer);
      again.focus();
    });
    document.body.append(dialog);
    dialog.showModal();
    controls.btnOK.focus();
  }

  return { open, design };
})();
window.ZorbiloSettings = ZorbiloSettings;
