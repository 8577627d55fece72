// A tap on the audio graph: hands every block that reaches it to the page, unchanged, and outputs
// silence, so the test hears exactly what the player would.
class Recorder extends AudioWorkletProcessor {
  constructor() {
    super();
    this.on = false;
    this.port.onmessage = (e) => { this.on = e.data === 'start'; };
  }
  process(inputs) {
    const input = inputs[0];
    if (this.on && input && input.length > 0) {
      this.port.postMessage(input.map((channel) => channel.slice()));
    }
    return true;
  }
}
registerProcessor('zorbilo-recorder', Recorder);
